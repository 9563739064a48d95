// Keeps the interface ids that GraphEdit reads a graph through registered with Wine's RPC
// runtime for as long as the apartment that hands the graph out lives.
//
// Why: Wine 8's COM runtime (the same in Wine 10) counts each interface id's registration for
// the whole process. When the last stub of an id goes, it calls RpcServerUnregisterIf and
// waits there, without pumping and holding the process-wide registration lock, for the calls
// on that id to finish. A worker that has just sent the reply of the last such call may
// decrement the count after the mark but before the wait's event exists; it then frees the
// interface and signals nothing, and the waiting apartment (the dialog's thread) never wakes.
// Every later COM call of the process stops behind it. Each GraphEdit that reads the graph and
// lets go brings the ids of the interfaces it used to zero, so a process that serves hundreds
// of GraphEdits meets that lost wake-up sooner or later.
//
// One table-strong marshal of a small static object per interface id keeps one stub of each
// id alive: the count never drops to zero and the wait is never reached. The object answers
// only for those ids (answering IMarshal as well breaks the standard marshaller) and no call
// ever reaches it: its marshalled data never leaves this module. Windows' COM has no such wait;
// there nothing of this is needed, and this module is never installed there.
#pragma once

namespace grfpersist {

// Pins every id, in the calling thread's apartment, unless pins are alive already. Called as
// a graph is about to be marshalled, so the pins live in the apartment that serves the
// graph's clients and are made before any stub of the graph's interfaces exists. A process
// that never hands a graph out never starts COM's remoting for them. Thread-safe.
void PinClientInterfaces();

// Whether a stub still refers to the pin object (code of this module): while it does, the
// module must stay loaded. The pins go when their apartment is torn down (CoUninitialize of
// its last thread): COM releases every stub of the apartment before it asks the apartment's
// DLLs whether they can be unloaded.
bool PinsAlive();

// Frees the marshalled data of pins whose stubs are gone (nothing to release in COM any more).
// Called only once PinsAlive() is false.
void DropDeadPins();

}  // namespace grfpersist

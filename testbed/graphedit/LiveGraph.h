// The graph GraphEdit shows, held as the real GraphEdit holds it: the graph, every filter and
// pin read from it and the control interfaces its toolbar uses stay referenced until Release,
// which the process calls once its message loop has ended. Every call here goes to the
// publishing process and waits for that process's thread to serve it; meanwhile this thread
// runs COM's modal loop (the calls of a single-threaded apartment).
#pragma once

#include <windows.h>
#include <dshow.h>

#include <string>

#include "ComPtr.h"
#include "RemoteGraph.h"

namespace ge {

class CLiveGraph {
public:
    CLiveGraph() = default;
    CLiveGraph(const CLiveGraph&) = delete;
    CLiveGraph& operator=(const CLiveGraph&) = delete;

    // Binds to the published graph through the running object table; the graph is held on success.
    HRESULT Bind(IMoniker* pMoniker);
    // Reads the held graph afresh into the model (the old model is kept when the read fails).
    HRESULT Read();
    // The graph's state and current position, as GraphEdit's toolbar and slider ask them:
    // "state=<n> hr=0x... position=<100 ns units> hr=0x...".
    std::wstring Poll();
    // Stops the graph, as GraphEdit's Stop button does.
    HRESULT Stop();
    // Lets go of everything held; the model keeps its names for drawing.
    void Release();

    bool IsHeld() const { return m_spGraph.Get() != nullptr; }
    const CGraphModel& Model() const { return m_model; }

private:
    HRESULT Control();

    fw::ComPtr<IFilterGraph> m_spGraph;
    fw::ComPtr<IMediaControl> m_spControl;
    fw::ComPtr<IMediaSeeking> m_spSeeking;
    CGraphModel m_model;
};

}  // namespace ge

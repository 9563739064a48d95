// Compound-file I/O for .grf files, through the platform's structured storage.
#include "GrfFile.h"

#include "ComPtr.h"

namespace grf {
namespace {

constexpr DWORD kReadMode = STGM_READ | STGM_SHARE_EXCLUSIVE;
constexpr ULONGLONG kMaxStreamSize = 256u * 1024 * 1024;

HRESULT ReadAll(IStream* pStream, std::vector<uint8_t>& bytes) {
    STATSTG stat = {};
    HRESULT hr = pStream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr)) return hr;
    if (stat.cbSize.QuadPart > kMaxStreamSize) return E_OUTOFMEMORY;
    bytes.resize(static_cast<size_t>(stat.cbSize.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        ULONG cbRead = 0;
        hr = pStream->Read(bytes.data() + done, static_cast<ULONG>(bytes.size() - done), &cbRead);
        if (FAILED(hr)) return hr;
        if (cbRead == 0) return STG_E_READFAULT;  // shorter than Stat said
        done += cbRead;
    }
    return S_OK;
}

HRESULT WriteAll(IStream* pStream, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ULONG cbWritten = 0;
        HRESULT hr = pStream->Write(bytes.data() + done, static_cast<ULONG>(bytes.size() - done), &cbWritten);
        if (FAILED(hr)) return hr;
        if (cbWritten == 0) return STG_E_WRITEFAULT;
        done += cbWritten;
    }
    return S_OK;
}

}  // namespace

HRESULT ReadGrfFile(const wchar_t* pszPath, std::vector<uint8_t>& stream) {
    stream.clear();
    if (pszPath == nullptr) return E_POINTER;
    fw::ComPtr<IStorage> spStorage;
    HRESULT hr = ::StgOpenStorage(pszPath, nullptr, kReadMode, nullptr, 0, &spStorage);
    if (FAILED(hr)) return hr;
    fw::ComPtr<IStream> spStream;
    hr = spStorage->OpenStream(kGraphStreamName, nullptr, kReadMode, 0, &spStream);
    if (FAILED(hr)) return hr;
    std::vector<uint8_t> bytes;
    hr = ReadAll(spStream, bytes);
    if (FAILED(hr)) return hr;
    stream.swap(bytes);
    return S_OK;
}

HRESULT WriteGrfFile(const wchar_t* pszPath, const std::vector<uint8_t>& stream, const wchar_t* pszStreamName) {
    if (pszPath == nullptr) return E_POINTER;
    fw::ComPtr<IStorage> spStorage;
    HRESULT hr = ::StgCreateDocfile(pszPath, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &spStorage);
    if (FAILED(hr)) return hr;
    if (pszStreamName != nullptr) {
        fw::ComPtr<IStream> spStream;
        hr = spStorage->CreateStream(pszStreamName, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &spStream);
        if (FAILED(hr)) return hr;
        hr = WriteAll(spStream, stream);
        if (FAILED(hr)) return hr;
    }
    return spStorage->Commit(STGC_DEFAULT);
}

}  // namespace grf

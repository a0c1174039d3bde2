// The pieces that the sources of CVLDefineLoader share (VLDefineLoader.cpp,
// VLDefineLoaderDocument.cpp, VLDefineLoaderFiles.cpp); private to the module
// framework.
#ifndef VLDEFINELOADERPRIVATE_H
#define VLDEFINELOADERPRIVATE_H

#include <string>

#include "base/core/VLStream.h"
#include "base/core/VLTypes.h"

namespace VLDefineLoaderPrivate {

// The trace and exception tag of every part of the loader.
const char* const s_szFile = "VLDefineLoader";
const int kByteOrder = 2;  // every number of the resource is big-endian

inline void Invert(const char* pSrc, int nLength, std::string& strOut)
{
    strOut.resize(static_cast<size_t>(nLength));
    for (int i = 0; i < nLength; ++i)
        strOut[static_cast<size_t>(i)] = static_cast<char>(~static_cast<unsigned char>(pSrc[i]));
}

inline void WriteRaw(IVLStream* pStream, const void* p, size_t n)
{
    if (n > 0)
        pStream->Write(static_cast<const VL_BYTE*>(p), static_cast<VL_SIZE_T>(n));
}

// Runs fn with the stream open: a stream that is not open yet is opened in
// eMode and closed again afterwards, also when fn throws; one the caller
// opened stays open.
template <class Fn>
inline void WithOpenStream(IVLStream* pStream, VL_OPEN_MODE eMode, Fn fn)
{
    if (pStream->IsOpen()) {
        fn();
        return;
    }
    pStream->Open(eMode);
    try {
        fn();
    } catch (...) {
        pStream->Close();
        throw;
    }
    pStream->Close();
}

// The whole stream as bytes, opened for reading (and closed again) when it
// is not open.
inline std::string ReadWhole(IVLStream* pStream)
{
    std::string data;
    WithOpenStream(pStream, VL_OPEN_READ, [&] {
        VL_BYTE buffer[4096];
        for (;;) {
            VL_SIZE_T n = pStream->Read(buffer, sizeof(buffer));
            if (n == 0 || n > sizeof(buffer))
                break;
            data.append(reinterpret_cast<const char*>(buffer), n);
        }
    });
    return data;
}

}  // namespace VLDefineLoaderPrivate

#endif

#include "base/stream/VLFileStream.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/core/VLFileSystem.h"
#include "base/core/VLIOException.h"
#include "base/core/VLInvalidParamException.h"
#include "base/core/VLOpenException.h"
#include "base/core/VLStdRuntime.h"

static const char* const s_szFile = "VLFileStream";

namespace {

// Opens an existing file for reading only when it is a regular file, checked
// on the open descriptor: a FIFO would block the open and the reads for ever,
// and a device never ends. Anything else fails with EINVAL.
FILE* OpenRegularFile(const char* szName, bool bWrite)
{
    int fd = open(szName, (bWrite ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        errno = EINVAL;
        return nullptr;
    }
    int nFlags = fcntl(fd, F_GETFL);
    FILE* pFile =
        nFlags != -1 && fcntl(fd, F_SETFL, nFlags & ~O_NONBLOCK) == 0 ? fdopen(fd, bWrite ? "r+" : "r") : nullptr;
    if (pFile == nullptr) {
        int nError = errno;
        close(fd);
        errno = nError;
    }
    return pFile;
}

}  // namespace

CVLFileStream::CVLFileStream() : m_pFile(nullptr)
{
}

CVLFileStream::~CVLFileStream()
{
    CVLFileStream::Close();
}

CVLString CVLFileStream::GetClassName() const
{
    return CVLString("CVLFileStream", VL_CHARSET_UTF8);
}

void CVLFileStream::Open(VL_OPEN_MODE eMode)
{
    try {
        Close();
        const char* szMode = nullptr;
        switch (static_cast<int>(eMode)) {
        case VL_OPEN_READ: szMode = "r"; break;
        case VL_OPEN_WRITE: szMode = "w"; break;
        case VL_OPEN_APPEND: szMode = "a"; break;
        case VL_OPEN_READ_PLUS: szMode = "r+"; break;
        case VL_OPEN_WRITE_PLUS: szMode = "w+"; break;
        default: throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, __LINE__);
        }
        const char* szName = GetFileName().GetString();
        if (eMode == VL_OPEN_READ || eMode == VL_OPEN_READ_PLUS)
            m_pFile = OpenRegularFile(szName, eMode == VL_OPEN_READ_PLUS);
        else
            m_pFile = VLStdFopen(szName, szMode);
        if (m_pFile == nullptr)
            throw new EVLOpenException(VLSTD_MODULE, s_szFile, __LINE__, szName, errno);
    }
    VL_CATCH_LADDER(VLSTD_MODULE, s_szFile)
}

bool CVLFileStream::IsOpen()
{
    return m_pFile != nullptr;
}

void CVLFileStream::Close()
{
    try {
        if (m_pFile != nullptr) {
            FILE* fp = m_pFile;
            m_pFile = nullptr;
            VLStdFclose(fp);
        }
    }
    VL_CATCH_LADDER(VLSTD_MODULE, s_szFile)
}

VL_SIZE_T CVLFileStream::Read(VL_BYTE* pBuffer, VL_SIZE_T nBufferSize)
{
    try {
        if (m_pFile == nullptr)
            throw new EVLOpenException(VLSTD_MODULE, s_szFile, __LINE__, GetFileName().GetString(), 0);
        if (VLStdFeof(m_pFile))
            return 0;
        if (nBufferSize == 0)
            return 0;
        if (pBuffer == nullptr)
            throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, __LINE__);
        size_t n = VLStdFread(pBuffer, 1, nBufferSize, m_pFile);
        int nError = VLStdFerror(m_pFile);
        if (nError != 0)
            throw new EVLIOException(VLSTD_MODULE, s_szFile, __LINE__, GetFileName().GetString(), nError);
        return static_cast<VL_SIZE_T>(n);
    }
    VL_CATCH_LADDER(VLSTD_MODULE, s_szFile)
}

void CVLFileStream::Write(const VL_BYTE* pBuffer, VL_SIZE_T nBufferSize)
{
    try {
        if (m_pFile == nullptr)
            throw new EVLOpenException(VLSTD_MODULE, s_szFile, __LINE__, GetFileName().GetString(), 0);
        if (nBufferSize == 0)
            return;
        if (pBuffer == nullptr)
            throw new EVLInvalidParamException(VLSTD_MODULE, s_szFile, __LINE__);
        size_t n = VLStdFwrite(pBuffer, 1, nBufferSize, m_pFile);
        if (n < nBufferSize)
            throw new EVLIOException(VLSTD_MODULE, s_szFile, __LINE__, GetFileName().GetString(),
                                     VLStdFerror(m_pFile));
    }
    VL_CATCH_LADDER(VLSTD_MODULE, s_szFile)
}

void CVLFileStream::Flush()
{
    try {
        if (m_pFile == nullptr)
            throw new EVLOpenException(VLSTD_MODULE, s_szFile, __LINE__, GetFileName().GetString(), 0);
        if (VLStdFflush(m_pFile) != 0)
            throw new EVLIOException(VLSTD_MODULE, s_szFile, __LINE__, GetFileName().GetString(),
                                     VLStdFerror(m_pFile));
    }
    VL_CATCH_LADDER(VLSTD_MODULE, s_szFile)
}

void CVLFileStream::Seek(VL_SIZE_T nPosition)
{
    try {
        if (m_pFile == nullptr)
            throw new EVLOpenException(VLSTD_MODULE, s_szFile, __LINE__, GetFileName().GetString(), 0);
        if (VLStdFseek(m_pFile, static_cast<long>(nPosition), SEEK_SET) != 0)
            throw new EVLIOException(VLSTD_MODULE, s_szFile, __LINE__, GetFileName().GetString(),
                                     VLStdFerror(m_pFile));
    }
    VL_CATCH_LADDER(VLSTD_MODULE, s_szFile)
}

VL_SIZE_T CVLFileStream::GetSize()
{
    try {
        if (m_pFile == nullptr)
            throw new EVLOpenException(VLSTD_MODULE, s_szFile, __LINE__, GetFileName().GetString(), 0);
        const char* szName = GetFileName().GetString();
        long nOld = VLStdFtell(m_pFile);
        if (nOld < 0)
            throw new EVLIOException(VLSTD_MODULE, s_szFile, __LINE__, szName, VLStdFerror(m_pFile));
        if (VLStdFseek(m_pFile, 0, SEEK_END) != 0)
            throw new EVLIOException(VLSTD_MODULE, s_szFile, __LINE__, szName, VLStdFerror(m_pFile));
        long nEnd = VLStdFtell(m_pFile);
        if (nEnd < 0)
            throw new EVLIOException(VLSTD_MODULE, s_szFile, __LINE__, szName, VLStdFerror(m_pFile));
        if (VLStdFseek(m_pFile, nOld, SEEK_SET) != 0)
            throw new EVLIOException(VLSTD_MODULE, s_szFile, __LINE__, szName, VLStdFerror(m_pFile));
        // A size beyond the stream's 32-bit counts cannot be represented.
        if (static_cast<unsigned long>(nEnd) > UINT32_MAX)
            throw new EVLIOException(VLSTD_MODULE, s_szFile, __LINE__, szName, EFBIG);
        return static_cast<VL_SIZE_T>(nEnd);
    }
    VL_CATCH_LADDER(VLSTD_MODULE, s_szFile)
}

void CVLFileStream::Clear()
{
    Close();
    VL_ULONG nError = 0;
    if (!VLRemoveFile(GetFileName().GetString(), &nError))
        throw new EVLIOException(VLSTD_MODULE, s_szFile, __LINE__, GetFileName().GetString(),
                                 static_cast<VL_LONG>(nError));
}

VL_CONST_STR CVLFileStream::GetTypeName() const
{
    return "File";
}

void CVLFileStream::Destroy()
{
    delete this;
}

void CVLFileStream::SetFileName(VL_CONST_STR szFileName)
{
    SetName(szFileName);
}

CVLString& CVLFileStream::GetFileName()
{
    return GetName();
}

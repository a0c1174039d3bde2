#include "base/core/VLStdRuntime.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// clang-format off
void* VLStdMemset(void* p, int c, size_t n) { return memset(p, c, n); }
void* VLStdMemcpy(void* pDest, const void* pSrc, size_t n) { return memcpy(pDest, pSrc, n); }
int VLStdMemcmp(const void* a, const void* b, size_t n) { return memcmp(a, b, n); }
// clang-format on

int VLStdSprintf(char* pBuffer, const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    int n = vsprintf(pBuffer, szFormat, args);
    va_end(args);
    return n;
}

int VLStdSnprintf(char* pBuffer, size_t nSize, const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    int n = vsnprintf(pBuffer, nSize, szFormat, args);
    va_end(args);
    return n;
}

int VLStdVsnprintf(char* pBuffer, size_t nSize, const char* szFormat, va_list args)
{
    return vsnprintf(pBuffer, nSize, szFormat, args);
}

// clang-format off
int VLStdVsprintf(char* pBuffer, const char* szFormat, va_list args) { return vsprintf(pBuffer, szFormat, args); }
struct tm* VLStdLocaltime(const time_t* pTime) { return localtime(pTime); }
time_t VLStdMktime(struct tm* pTm) { return mktime(pTm); }
time_t VLStdTime(time_t* pTime) { return time(pTime); }
FILE* VLStdFopen(const char* szPath, const char* szMode) { return fopen(szPath, szMode); }
int VLStdFclose(FILE* fp) { return fclose(fp); }
int VLStdFflush(FILE* fp) { return fflush(fp); }
int VLStdFeof(FILE* fp) { return feof(fp); }
size_t VLStdFread(void* p, size_t nSize, size_t nCount, FILE* fp) { return fread(p, nSize, nCount, fp); }
size_t VLStdFwrite(const void* p, size_t nSize, size_t nCount, FILE* fp) { return fwrite(p, nSize, nCount, fp); }
int VLStdFerror(FILE* fp) { return ferror(fp); }
int VLStdFseek(FILE* fp, long nOffset, int nWhence) { return fseek(fp, nOffset, nWhence); }
long VLStdFtell(FILE* fp) { return ftell(fp); }
// clang-format on

char* VLStdItoa(int nValue, char* pBuffer)
{
    sprintf(pBuffer, "%d", nValue);
    return pBuffer;
}

// clang-format off
long VLStdStrtol(const char* sz, char** ppEnd, int nBase) { return strtol(sz, ppEnd, nBase); }
unsigned long VLStdStrtoul(const char* sz, char** ppEnd, int nBase) { return strtoul(sz, ppEnd, nBase); }
int VLStdStat(const char* szPath, struct stat* pStat) { return stat(szPath, pStat); }
int VLStdFlock(int fd, int nOperation) { return flock(fd, nOperation); }
int VLStdMkdir(const char* szPath, unsigned short nMode) { return mkdir(szPath, static_cast<mode_t>(nMode)); }
int VLStdRmdir(const char* szPath) { return rmdir(szPath); }
DIR* VLStdOpendir(const char* szPath) { return opendir(szPath); }
struct dirent* VLStdReaddir(DIR* pDir) { return readdir(pDir); }
int VLStdClosedir(DIR* pDir) { return closedir(pDir); }
int VLStdRemove(const char* szPath) { return remove(szPath); }
int VLStdRename(const char* szOld, const char* szNew) { return rename(szOld, szNew); }
int VLStdOpen(const char* szPath, int nFlags, int nMode) { return open(szPath, nFlags, nMode); }
int VLStdClose(int fd) { return close(fd); }
ssize_t VLStdWrite(int fd, const void* p, size_t n) { return write(fd, p, n); }
ssize_t VLStdRead(int fd, void* p, size_t n) { return read(fd, p, n); }
int VLStdGettimeofday(struct timeval* pTime, void* pZone) { return gettimeofday(pTime, static_cast<struct timezone*>(pZone)); }
int VLStdAtoi(const char* sz) { return atoi(sz); }
// clang-format on

// One-line wrappers through which the base library calls the C runtime.
#ifndef VLSTDRUNTIME_H
#define VLSTDRUNTIME_H

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/types.h>

void* VLStdMemset(void* p, int c, size_t n);
void* VLStdMemcpy(void* pDest, const void* pSrc, size_t n);
int VLStdMemcmp(const void* a, const void* b, size_t n);
int VLStdSprintf(char* pBuffer, const char* szFormat, ...) __attribute__((format(printf, 2, 3)));
int VLStdSnprintf(char* pBuffer, size_t nSize, const char* szFormat, ...) __attribute__((format(printf, 3, 4)));
int VLStdVsnprintf(char* pBuffer, size_t nSize, const char* szFormat, va_list args);
int VLStdVsprintf(char* pBuffer, const char* szFormat, va_list args);
struct tm* VLStdLocaltime(const time_t* pTime);
time_t VLStdMktime(struct tm* pTm);
time_t VLStdTime(time_t* pTime);
FILE* VLStdFopen(const char* szPath, const char* szMode);
int VLStdFclose(FILE* fp);
int VLStdFflush(FILE* fp);
int VLStdFeof(FILE* fp);
size_t VLStdFread(void* p, size_t nSize, size_t nCount, FILE* fp);
size_t VLStdFwrite(const void* p, size_t nSize, size_t nCount, FILE* fp);
int VLStdFerror(FILE* fp);
int VLStdFseek(FILE* fp, long nOffset, int nWhence);
long VLStdFtell(FILE* fp);
char* VLStdItoa(int nValue, char* pBuffer);
long VLStdStrtol(const char* sz, char** ppEnd, int nBase);
unsigned long VLStdStrtoul(const char* sz, char** ppEnd, int nBase);
int VLStdStat(const char* szPath, struct stat* pStat);
int VLStdFlock(int fd, int nOperation);
int VLStdMkdir(const char* szPath, unsigned short nMode);
int VLStdRmdir(const char* szPath);
DIR* VLStdOpendir(const char* szPath);
struct dirent* VLStdReaddir(DIR* pDir);
int VLStdClosedir(DIR* pDir);
int VLStdRemove(const char* szPath);
int VLStdRename(const char* szOld, const char* szNew);
int VLStdOpen(const char* szPath, int nFlags, int nMode);
int VLStdClose(int fd);
ssize_t VLStdWrite(int fd, const void* p, size_t n);
ssize_t VLStdRead(int fd, void* p, size_t n);
int VLStdGettimeofday(struct timeval* pTime, void* pZone);
int VLStdAtoi(const char* sz);

#endif

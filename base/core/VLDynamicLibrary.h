// Loads a shared library at run time by a short name and hands out the
// addresses of its functions.
#ifndef VLDYNAMICLIBRARY_H
#define VLDYNAMICLIBRARY_H

class CVLString;

class CVLDynamicLibrary
{
public:
    CVLDynamicLibrary();
    virtual ~CVLDynamicLibrary();

    // Tries the candidate paths in order; throws EVLOpenException when none loads.
    virtual void Load(const char* szName);
    // Throws EVLUnsupportedException when the function is not found.
    virtual void* GetSymbol(const char* szName);
    virtual void Unload();

    // The most candidate paths Load tries.
    static const int kMaxCandidates = 6;

    // The candidate paths of Load, in the order they are tried.
    static void GetCandidates(const char* szName, const CVLString& strExecutablePath, CVLString* pCandidates,
                              int nMax, int& nCount);

protected:
    void* m_pImage;
    void* m_pBundle;

private:
    CVLDynamicLibrary(const CVLDynamicLibrary&) = delete;
    CVLDynamicLibrary& operator=(const CVLDynamicLibrary&) = delete;
};

#endif

// An advisory, inter-process lock on a file (flock). The lock belongs to the
// open file description, so two objects on the same file exclude each other.
#ifndef VLFILELOCK_H
#define VLFILELOCK_H

class CVLFileLock
{
public:
    CVLFileLock();
    explicit CVLFileLock(const char* szPath);
    virtual ~CVLFileLock();

    // Opens (creating when missing) the file for reading and writing.
    bool Open(const char* szPath);
    // Takes the exclusive lock, waiting until it is granted.
    bool Lock();
    bool Unlock();
    bool Close();
    bool IsOpen() const { return m_nFile != -1; }

private:
    CVLFileLock(const CVLFileLock&) = delete;
    CVLFileLock& operator=(const CVLFileLock&) = delete;

    int m_nFile;
};

#endif

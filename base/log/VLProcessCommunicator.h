// A named-pipe transport in "/tmp/". Frames are a 4-byte length in host byte
// order followed by that many bytes; one reader (the owner, which created
// the pipe) and any number of writers.
#ifndef VLPROCESSCOMMUNICATOR_H
#define VLPROCESSCOMMUNICATOR_H

#include "base/core/VLByteArray.h"
#include "base/core/VLString.h"

class CVLProcessCommunicator
{
public:
    enum
    {
        RESULT_OK = 0,
        RESULT_ERROR = 2,
        RESULT_TIMEOUT = 3,
        // The largest frame body Receive accepts.
        MAX_FRAME_LENGTH = 30 + 255 + 255 + 65535
    };

    CVLProcessCommunicator();
    virtual ~CVLProcessCommunicator();

    // Opens "/tmp/" + szName, creating the named pipe (mode 0666) when
    // nothing is there. The owner opens it for reading, the other side for
    // writing. An empty name, a name with "/", or a path that holds anything
    // but a named pipe of this user fails.
    virtual bool Open(const char* szName, bool bOwner);
    // Closes; the owner also removes the pipe.
    virtual void Close();
    virtual bool IsOpen();
    // Writes one frame. 0, or 2 when the pipe is not writable or the write
    // fails (also when the pipe stays full for a second).
    virtual int Send(const void* pData, VL_ULONG nLength);
    // Reads one frame into the receive buffer. 0; 2 for an access or system
    // failure or a frame longer than MAX_FRAME_LENGTH; 3 when nothing (or
    // not the whole frame) arrives in time.
    virtual int Receive();
    virtual int GetReceivedLength();
    virtual const VL_BYTE* GetReceivedData();

protected:
    int m_nFile;
    CVLString m_strPath;
    bool m_bOwner;
    CVLByteArray m_ReceiveBuffer;

private:
    CVLProcessCommunicator(const CVLProcessCommunicator&) = delete;
    CVLProcessCommunicator& operator=(const CVLProcessCommunicator&) = delete;
};

#endif

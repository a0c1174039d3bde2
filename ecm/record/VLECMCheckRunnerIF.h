// What runs a device record's unicast check away from a command thread (the
// probe's check thread): the probe hands it to each record it adopts, so
// that the record knows nothing of the probe.
#ifndef VLECMCHECKRUNNERIF_H
#define VLECMCHECKRUNNERIF_H

class CVLECMNIFInfo;

class IVLECMCheckRunnerIF
{
public:
    // Takes over the record's CheckUnicast, whose command state the record
    // has set; false when it cannot (the record then runs it on a thread).
    virtual bool Begin(CVLECMNIFInfo* pNIFInfo) = 0;
    // Ends the record's check as stopped if it runs here; once it returns
    // the record is no longer touched. True when it was here.
    virtual bool Cancel(CVLECMNIFInfo* pNIFInfo) = 0;

protected:
    ~IVLECMCheckRunnerIF() {}
};

#endif

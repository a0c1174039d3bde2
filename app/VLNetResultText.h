// The meanings of the result codes that vlnet prints.
#ifndef VLNETRESULTTEXT_H
#define VLNETRESULTTEXT_H

class CVLNetResultText
{
public:
    // The application framework's results ("path error", ...).
    static const char* GetPFWResultText(int nResult);
    // The device manager's results, which device commands give.
    static const char* GetECMResultText(int nResult);
};

#endif

// The list of found device records.
#ifndef VLECMNIFINFOLIST_H
#define VLECMNIFINFOLIST_H

#include "cm/VLTargetList.h"

class CVLECMNIFInfoList : public CVLTargetList
{
public:
    CVLECMNIFInfoList();
    virtual ~CVLECMNIFInfoList();
};

#endif

// Plays on a device manager's MAC table addresses whose unicast checks
// ended as a test gives, and addresses beyond those kept for a MAC, so
// that the tests above the manager can read what it says of them.
#ifndef TESTS_SUPPORT_ECM_MACTABLESTATES_H
#define TESTS_SUPPORT_ECM_MACTABLESTATES_H

#include <memory>
#include <string>
#include <vector>

#include "ecm/core/VLECMDefs.h"
#include "ecm/core/VLECMMACState.h"

class CVLECM;
class CVLECMNIFInfo;

class CMACTableStates
{
public:
    // How an address's check ended, the device not answering it.
    struct SCheckEnd
    {
        const char* szFrom;
        VLECM_MAC_FAILURE eFailure;
        VLECM_RESULT eResult;
        bool bAnsweredOtherwise;
    };

    explicit CMACTableStates(CVLECM& ecm);
    // The records it made leave the table.
    ~CMACTableStates();

    // Admits each address of the MAC, begins its chain and ends its check
    // so; false (strFailed naming the address) when one was not taken.
    bool EndChecks(const std::string& strMAC, const std::vector<SCheckEnd>& ends, std::string& strFailed);
    // Keeps every address a MAC may have, from strPrefix plus 100 on, then
    // hears strBeyond, which is then beyond them.
    void HearBeyond(const std::string& strMAC, const std::string& strPrefix, const std::string& strBeyond);

private:
    CVLECM& m_ECM;
    std::vector<std::unique_ptr<CVLECMNIFInfo>> m_Records;
};

#endif

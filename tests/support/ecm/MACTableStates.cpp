#include "tests/support/ecm/MACTableStates.h"

#include "base/core/VLCharset.h"
#include "ecm/VLECM.h"
#include "ecm/probe/VLECMMACTable.h"
#include "ecm/probe/VLECMProbeInstance.h"
#include "ecm/record/VLECMNIFInfo.h"

namespace {
CVLString Text(const std::string& str)
{
    return CVLString(str.c_str(), VL_CHARSET_UTF8);
}

SVLECMReplyKey Key(const std::string& strMAC, const std::string& strFrom)
{
    SVLECMReplyKey key;
    key.strMAC = Text(strMAC);
    key.strAddress = Text(strFrom);
    return key;
}
}  // namespace

CMACTableStates::CMACTableStates(CVLECM& ecm) : m_ECM(ecm)
{
}

CMACTableStates::~CMACTableStates()
{
    CVLECMMACTable& table = m_ECM.GetProbeInstance().GetMACTable();
    for (const std::unique_ptr<CVLECMNIFInfo>& pRecord : m_Records)
        table.Detach(pRecord.get());
}

bool CMACTableStates::EndChecks(const std::string& strMAC, const std::vector<SCheckEnd>& ends,
                                std::string& strFailed)
{
    CVLECMMACTable& table = m_ECM.GetProbeInstance().GetMACTable();
    for (const SCheckEnd& end : ends) {
        const SVLECMReplyKey key = Key(strMAC, end.szFrom);
        m_Records.emplace_back(new CVLECMNIFInfo());
        CVLECMNIFInfo* pRecord = m_Records.back().get();
        table.Keep(key);
        if (!table.Attach(key, pRecord, Text("M")) || table.BeginChain(pRecord, Text("")).starts.size() != 1) {
            strFailed = end.szFrom;
            return false;
        }
        table.CheckEnded(pRecord, false, end.eFailure, end.eResult, 0, end.bAnsweredOtherwise);
    }
    return true;
}

void CMACTableStates::HearBeyond(const std::string& strMAC, const std::string& strPrefix,
                                 const std::string& strBeyond)
{
    CVLECMMACTable& table = m_ECM.GetProbeInstance().GetMACTable();
    for (int i = 0; i < CVLECMMACTable::MAX_ADDRESSES_PER_MAC; ++i)
        table.Keep(Key(strMAC, strPrefix + std::to_string(100 + i)));
    table.Hear(Key(strMAC, strBeyond));
}

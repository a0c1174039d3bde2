// Fills a device manager's dispatch queue until it refuses even the records
// that end a command; they go with the object.
#ifndef TESTS_SUPPORT_ECM_REFUSINGQUEUE_H
#define TESTS_SUPPORT_ECM_REFUSINGQUEUE_H

class CVLECM;
class CVLModuleController;

class CRefusingQueue
{
public:
    explicit CRefusingQueue(CVLECM& ecm);
    ~CRefusingQueue();
    CRefusingQueue(const CRefusingQueue&) = delete;
    CRefusingQueue& operator=(const CRefusingQueue&) = delete;

private:
    CVLModuleController* m_pController;
    int m_nFiller = 0;
};

#endif

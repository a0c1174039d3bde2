// The common base of every object that belongs to one framework instance: it
// reaches the module controller through its owning facade, without a global.
#ifndef VLAPIOBJECT_H
#define VLAPIOBJECT_H

class CVLCMApi;
class CVLModuleController;

class CVLApiObject
{
public:
    explicit CVLApiObject(CVLCMApi* pApi);
    virtual ~CVLApiObject();

    virtual void SetApi(CVLCMApi* pApi);
    virtual CVLCMApi* GetApi() const;
    virtual void CopyApi(const CVLApiObject& other);
    // Null while no facade is set.
    virtual CVLModuleController* GetModuleController() const;

protected:
    CVLCMApi* m_pApi;
};

#endif

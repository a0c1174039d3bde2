// A test fixture for a module tested through the framework: the framework
// initialized on a module mapping of the test's own, with the test's modules
// registered for the test's lifetime, a board its fake modules report to (a
// static pointer of the test's file, set for the test) and a listener.
#ifndef MODULEFIXTURE_H
#define MODULEFIXTURE_H

#include <gtest/gtest.h>

#include <utility>

#include "cm/VLCMApi.h"
#include "cm/VLCMApiConfig.h"
#include "cm/VLModuleController.h"
#include "tests/support/cm/DefinitionFiles.h"
#include "tests/support/cm/ModuleRegistration.h"

template <class TBoard, class TListener>
class TModuleFixture : public ::testing::Test
{
protected:
    TModuleFixture(TBoard*& rpBoard, CModuleRegistration::TRegister fnRegister, const char* szMapping)
        : m_Registration(std::move(fnRegister)), m_rpBoard(rpBoard), m_szMapping(szMapping)
    {
    }
    void SetUp() override
    {
        m_rpBoard = &m_Board;
        m_Files.AddXml("mapping.xml", m_szMapping);
        CVLCMApiConfig config;
        m_Files.Configure(config);
        m_Api.Initialize(&config, nullptr);
    }
    void TearDown() override
    {
        m_Api.Terminate();
        m_rpBoard = nullptr;
    }
    // The controller.
    CVLModuleController* C() { return m_Api.GetModuleController(); }
    // Delivers the callbacks queued so far on the test's thread.
    void Dispatch()
    {
        for (int i = 0; i < 1000; ++i)
            m_Api.DispatchCallback(0);
    }

    TBoard m_Board;
    CModuleRegistration m_Registration;
    CDefinitionFiles m_Files;
    CVLCMApi m_Api;
    TListener m_Listener;

private:
    TBoard*& m_rpBoard;
    const char* m_szMapping;
};

#endif

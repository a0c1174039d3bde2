// Opens a URL in the user's default browser.
#ifndef VLWEBLAUNCHER_H
#define VLWEBLAUNCHER_H

#include <string>

class CVLWebLauncher
{
public:
    CVLWebLauncher();
    virtual ~CVLWebLauncher();

    // Hands the URL (UTF-8) to the desktop's URL handler; true when the
    // handler took it. A null or empty URL gives false.
    virtual bool Launch(const char* szURL);
    // Why the last Launch gave false ("no xdg-open on the PATH", "xdg-open
    // exited with status 3"); empty after one that gave true.
    const std::string& GetFailureText() const { return m_strFailure; }
    // Accepts a browser choice; there is none to make, so it is ignored.
    virtual bool SetBrowser(const char* szBrowser);

private:
    std::string m_strFailure;
};

#endif

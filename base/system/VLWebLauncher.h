// Opens a URL in the user's default browser.
#ifndef VLWEBLAUNCHER_H
#define VLWEBLAUNCHER_H

class CVLWebLauncher
{
public:
    CVLWebLauncher();
    virtual ~CVLWebLauncher();

    // Hands the URL (UTF-8) to the desktop's URL handler; true when the
    // handler took it. A null or empty URL gives false.
    virtual bool Launch(const char* szURL);
    // Accepts a browser choice; there is none to make, so it is ignored.
    virtual bool SetBrowser(const char* szBrowser);
};

#endif

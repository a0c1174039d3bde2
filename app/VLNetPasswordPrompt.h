// The password prompt of vlnet run: asked on standard error and read from
// standard input, a terminal, with its echo off, so that the password shows
// neither on the screen nor in the process list.
#ifndef VLNETPASSWORDPROMPT_H
#define VLNETPASSWORDPROMPT_H

#include <string>

class CVLNetPasswordPrompt
{
public:
    enum EResult
    {
        RESULT_READ,
        RESULT_STOPPED,  // a stop was requested while it waited
        RESULT_FAILED
    };

    // True when standard input is a terminal, where a password can be asked for.
    static bool IsAvailable();
    // Shows strPrompt and reads one line (at most MAX_PASSWORD_BYTES of
    // CVLNetOptions) with the echo off; the terminal's mode is put back on
    // every return. RESULT_FAILED with the reason in strError.
    static EResult Ask(const std::string& strPrompt, std::string& strPassword, std::string& strError);
    // Puts back the mode of a terminal whose echo a prompt still holds off:
    // for a stop that ends the process while the prompt waits.
    static void RestoreTerminal();
};

#endif

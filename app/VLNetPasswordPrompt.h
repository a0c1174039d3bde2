// The password prompt of vlnet run: asked on the terminal itself (/dev/tty,
// as ssh and sudo ask), whatever standard input and standard error are,
// and read there with its echo off, so that the password shows neither on
// the screen nor in the process list. A process without a terminal of its
// own asks on standard error and reads standard input when that is a
// terminal.
#ifndef VLNETPASSWORDPROMPT_H
#define VLNETPASSWORDPROMPT_H

#include <string>

class CVLNetPasswordPrompt
{
public:
    enum EResult
    {
        RESULT_READ,
        RESULT_STOPPED,       // a stop was requested while it waited
        RESULT_END_OF_INPUT,  // the input ended (Ctrl-D) before a line did
        RESULT_FAILED
    };

    // True when there is a terminal to ask on.
    static bool IsAvailable();
    // Shows strPrompt and reads one line (at most MAX_PASSWORD_BYTES of
    // CVLNetOptions) with the echo off; only a line ended by the user, the
    // empty one included, is a password. The terminal's mode is put back on
    // every return. RESULT_FAILED with the reason in strError.
    static EResult Ask(const std::string& strPrompt, std::string& strPassword, std::string& strError);
    // Puts back the mode of a terminal whose echo a prompt still holds off:
    // for a stop that ends the process while the prompt waits.
    static void RestoreTerminal();
};

#endif

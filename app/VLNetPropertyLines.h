// A device record's values as lines a person reads and can give back to
// vlnet run: "PATH=VALUE", one per value, in the tree's order. Lists show
// as PATH.N.FIELD=VALUE, as the record holds them.
//
// A value is written as its text; a binary value, and a text that is not
// printable UTF-8 (or that would read as such a value), as "hex:" and the
// bytes in hexadecimal. A value with a blank, "=", a quote or another
// character a shell treats specially is put in single quotes, so that the
// line pasted after "vlnet run MAC SetDetail" sets that value.
#ifndef VLNETPROPERTYLINES_H
#define VLNETPROPERTYLINES_H

#include <string>

class CVLProperty;
class CVLTarget;
class CVLVariant;

class CVLNetPropertyLines
{
public:
    // The lines of every value below pRoot (nodes without children that
    // hold a value), each ending in a line feed.
    static std::string Format(const CVLProperty* pRoot);
    // The lines of a record, read under its lock.
    static std::string FormatTarget(CVLTarget* pTarget);
    // How a number of the record reads as the device means it: as the
    // number, as a character (the version letter '2'), or as a code (a
    // result or function code: four hexadecimal digits, E001, as
    // everywhere else they are written). By the path's last name.
    enum EForm
    {
        FORM_NUMBER,
        FORM_CHARACTER,
        FORM_CODE
    };
    static EForm GetForm(const std::string& strPath);
    // The number a character (printable ASCII, or hex: and one byte) or a
    // code (four hexadecimal digits, either case) written so gives; false
    // for any other text.
    static bool ParseForm(EForm eForm, const std::string& strText, unsigned long& nValue);
    // The value part of a line, quoted for the shell where it needs it; a
    // number in the form of the path it stands at.
    static std::string FormatValue(const CVLVariant& value, const std::string& strPath = std::string());
    // The bytes of a "hex:..." value; false for any other text.
    static bool ParseHex(const std::string& strValue, std::string& strBytes);
    // The text of the record's value at the path, under its lock; false
    // when the record holds none there.
    static bool ReadText(CVLTarget* pTarget, const std::string& strPath, std::string& strText);
    // Sets a value given as PATH=VALUE text on the record, under its lock:
    // a "hex:" value as those bytes (binary where the node holds binary),
    // any other as its text. False when the path cannot be set.
    static bool Assign(CVLTarget* pTarget, const std::string& strPath, const std::string& strValue);

    // The byte length of the well-formed UTF-8 character at nPos of str
    // (nPos < size); 0 when the bytes there are none.
    static size_t GetCharacterLength(const std::string& str, size_t nPos);
    // True for a control character at nPos: C0, DEL, or C1 in UTF-8.
    static bool IsControl(const std::string& str, size_t nPos);
};

#endif

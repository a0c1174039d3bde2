// The PATH=VALUE lines of vlnet run: what they show of a record, and that a
// line given back (through a shell) sets the value it shows.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/VLNetPropertyLines.h"
#include "app/VLNetValueCheck.h"
#include "base/core/VLCharset.h"
#include "cm/VLCMApi.h"
#include "cm/VLProperty.h"
#include "cm/VLTarget.h"
#include "modules/vlpc/VLPCField.h"

namespace {
// The word a shell makes of a line: what vlnet receives as its argument.
std::string ShellWord(const std::string& strLine)
{
    std::string strCommand = "printf '%s' " + strLine;
    FILE* fp = popen(strCommand.c_str(), "r");
    if (fp == nullptr)
        return "popen failed";
    std::string strWord;
    char buffer[256];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), fp)) > 0)
        strWord.append(buffer, n);
    pclose(fp);
    return strWord;
}

std::string Text(const CVLString& str)
{
    return std::string(str.GetBuffer(), static_cast<size_t>(str.GetLength()));
}
}  // namespace

TEST(VLNetPropertyLines, ShowsEveryValueAsALineThatSetsItBack)
{
    CVLCMApi api;
    CVLTarget target(&api);
    CVLProperty* pRoot = target.GetProperties();
    pRoot->GetProperty("MACAddress", true)->SetString("0026AB000001", VL_CHARSET_UTF8);
    pRoot->GetProperty("BindIPAddress", true);  // empty: not shown
    pRoot->GetProperty("VLPC.2B_5A10_01.WebPort", true)->SetUShort(80);
    pRoot->GetProperty("VLPC.2B_5A10_01.Location", true)->SetString("Room 4 'east' =x", VL_CHARSET_UTF8);
    pRoot->GetProperty("VLPC.2B_5A10_01.Contact", true)->SetString("", VL_CHARSET_UTF8);
    pRoot->GetProperty("VLPC.2B_5A10_01.NodeName", true)->SetString("A\tB", VL_CHARSET_UTF8);
    pRoot->GetProperty("VLPC.2B_5A10_01.Serial", true)->SetString("hex:41", VL_CHARSET_UTF8);
    pRoot->GetProperty("VLPC.2B_5A10_01.Key", true)->SetBinary("\x01\xFF", 2);
    // A list: its node holds the count, its entries the fields.
    CVLProperty* pList = pRoot->GetProperty("VLPC.2B_5A04_01.ProtocolList", true);
    pList->SetUShort(2);
    pList->GetProperty("0.Port", true)->SetUShort(80);
    pList->GetProperty("1.Port", true)->SetUShort(9100);

    const std::string strLines = CVLNetPropertyLines::FormatTarget(&target);
    EXPECT_EQ("MACAddress=0026AB000001\n"
              "VLPC.2B_5A10_01.WebPort=80\n"
              "VLPC.2B_5A10_01.Location='Room 4 '\\''east'\\'' =x'\n"
              "VLPC.2B_5A10_01.Contact=\n"
              "VLPC.2B_5A10_01.NodeName=hex:410942\n"
              "VLPC.2B_5A10_01.Serial=hex:6865783A3431\n"
              "VLPC.2B_5A10_01.Key=hex:01FF\n"
              "VLPC.2B_5A04_01.ProtocolList.0.Port=80\n"
              "VLPC.2B_5A04_01.ProtocolList.1.Port=9100\n",
              strLines);

    // Each line, through a shell, sets an empty record to the same lines.
    CVLTarget copy(&api);
    size_t nStart = 0;
    while (nStart < strLines.size()) {
        size_t nEnd = strLines.find('\n', nStart);
        std::string strWord = ShellWord(strLines.substr(nStart, nEnd - nStart));
        size_t nEqual = strWord.find('=');
        ASSERT_NE(std::string::npos, nEqual) << strWord;
        std::string strPath = strWord.substr(0, nEqual);
        if (strPath == "VLPC.2B_5A10_01.Key")
            copy.GetProperties()->GetProperty(strPath.c_str(), true)->SetBinary("", 0);
        EXPECT_TRUE(CVLNetPropertyLines::Assign(&copy, strPath, strWord.substr(nEqual + 1))) << strWord;
        nStart = nEnd + 1;
    }
    std::string strCopied = CVLNetPropertyLines::FormatTarget(&copy);
    EXPECT_EQ(strLines, strCopied);
    EXPECT_EQ("Room 4 'east' =x",
              Text(copy.GetProperties()->GetProperty("VLPC.2B_5A10_01.Location", false)->GetString()));
    // Bytes go into a binary node as binary, into any other as a text.
    EXPECT_EQ(VL_VARIANT_TYPE_BINARY, copy.GetProperties()->GetProperty("VLPC.2B_5A10_01.Key", false)->GetType());
    EXPECT_EQ("A\tB", Text(copy.GetProperties()->GetProperty("VLPC.2B_5A10_01.NodeName", false)->GetString()));

    // "hex:" followed by anything but pairs of hexadecimal digits is a text.
    std::string strBytes;
    EXPECT_FALSE(CVLNetPropertyLines::ParseHex("hex:4", strBytes));
    EXPECT_FALSE(CVLNetPropertyLines::ParseHex("hex:4G", strBytes));
    EXPECT_FALSE(CVLNetPropertyLines::ParseHex("HEX:41", strBytes));
    ASSERT_TRUE(CVLNetPropertyLines::ParseHex("hex:", strBytes));
    EXPECT_EQ("", strBytes);
    EXPECT_TRUE(CVLNetPropertyLines::Assign(&copy, "VLPC.2B_5A10_01.Location", "hex:4"));
    EXPECT_EQ("hex:4", Text(copy.GetProperties()->GetProperty("VLPC.2B_5A10_01.Location", false)->GetString()));
    // A path the tree cannot hold is refused.
    EXPECT_FALSE(CVLNetPropertyLines::Assign(&copy, "VLPC..Location", "x"));
}

// A number shows as what the device means by it: a character as the
// character, a code as four hexadecimal digits as codes are written
// elsewhere, any other as the number; and what shows, given back as
// PATH=VALUE, reads as the number it shows.
TEST(VLNetPropertyLines, ANumberShowsAsTheDeviceMeansItAndReadsBack)
{
    const struct
    {
        const char* szPath;
        int nFieldType;
        unsigned nValue;
        const char* szShown;
    } kValues[] = {
        {"VLPC.2B_5A01_01.VLPCVersion", VLPC_FIELD_BYTE, '2', "2"},
        {"VLPC.2B_5A01_01.VLPCVersion", VLPC_FIELD_BYTE, '*', "'*'"},
        {"VLPC.2B_5A01_01.VLPCVersion", VLPC_FIELD_BYTE, 0x01, "hex:01"},
        {"VLPC.2B_5A21_01.Result", VLPC_FIELD_USHORT, 0xE001, "E001"},
        {"VLPC.2B_5A20_01.Result", VLPC_FIELD_USHORT, 0x1001, "1001"},
        {"VLPC.2B_5A22_01.Result", VLPC_FIELD_USHORT, 0, "0000"},
        {"VLPC.2B_5A22_01.Result", VLPC_FIELD_USHORT, 0xFFFF, "FFFF"},
        {"VLPC.2B_5A03_01.FunctionList.0.Function", VLPC_FIELD_USHORT, 0x5A01, "5A01"},
        {"VLPC.2B_5A10_01.IPMode", VLPC_FIELD_BYTE, 2, "2"},
        {"VLPC.2B_5A01_01.CipherType", VLPC_FIELD_USHORT, 0xFFFF, "65535"},
    };
    CVLCMApi api;
    for (const auto& entry : kValues) {
        CVLTarget target(&api);
        CVLProperty* pNode = target.GetProperties()->GetProperty(entry.szPath, true);
        if (entry.nFieldType == VLPC_FIELD_BYTE)
            pNode->SetUChar(static_cast<unsigned char>(entry.nValue));
        else
            pNode->SetUShort(static_cast<unsigned short>(entry.nValue));
        const std::string strLine = std::string(entry.szPath) + "=" + entry.szShown;
        EXPECT_EQ(strLine + "\n", CVLNetPropertyLines::FormatTarget(&target));
        const std::string strWord = ShellWord(strLine);
        std::string strValue = strWord.substr(strWord.find('=') + 1);
        EXPECT_EQ("", CVLNetValueCheck::CheckValue({entry.szPath, entry.nFieldType, 0}, strValue)) << strLine;
        EXPECT_EQ(std::to_string(entry.nValue), strValue) << strLine;
    }
}

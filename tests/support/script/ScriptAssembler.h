// A small assembler for compiled script images, for the tests: strings go to
// the pool (names plain, literals scrambled), jumps to named labels, and a
// line entry is written whenever the source line changes.
#ifndef SCRIPTASSEMBLER_H
#define SCRIPTASSEMBLER_H

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "script/VLScriptDefs.h"

class CScriptAssembler
{
public:
    typedef std::vector<VL_BYTE> Image;

    explicit CScriptAssembler(const std::string& strName = "Test", const std::string& strSource = "test.vls",
                              VL_BYTE nReturnType = 0)
        : m_nReturnType(nReturnType), m_nLine(1), m_nLastLine(0)
    {
        Str(strName);
        m_nSourceOffset = Str(strSource);
    }

    VL_ULONG Str(const std::string& s)
    {
        auto it = m_PoolMap.find(s);
        if (it != m_PoolMap.end())
            return it->second;
        VL_ULONG n = static_cast<VL_ULONG>(m_Pool.size());
        m_Pool.insert(m_Pool.end(), s.begin(), s.end());
        m_Pool.push_back(0);
        m_PoolMap[s] = n;
        return n;
    }
    VL_ULONG Literal(const std::string& s)
    {
        std::string t = s;
        for (char& c : t)
            c = static_cast<char>(~static_cast<unsigned char>(c));
        return Str(t);
    }

    CScriptAssembler& Param(VL_BYTE nType, const std::string& strName)
    {
        m_Params.push_back(nType);
        Put32(m_Params, Str(strName));
        return *this;
    }
    CScriptAssembler& Line(VL_ULONG n)
    {
        m_nLine = n;
        return *this;
    }
    CScriptAssembler& Op(VL_BYTE nOp)
    {
        Begin();
        m_Code.push_back(nOp);
        return *this;
    }
    CScriptAssembler& Declare(const std::string& strName, VL_BYTE nType)
    {
        Op(VLSCR_OP_DECLARE);
        Put32(m_Code, Str(strName));
        m_Code.push_back(nType);
        return *this;
    }
    CScriptAssembler& Var(const std::string& strName) { return OpName(VLSCR_OP_VARIABLE, strName); }
    CScriptAssembler& Call(const std::string& strName) { return OpName(VLSCR_OP_CALL, strName); }
    CScriptAssembler& Long(VL_LONG n)
    {
        Op(VLSCR_OP_PUSH_LONG);
        Put32(m_Code, static_cast<VL_ULONG>(n));
        return *this;
    }
    CScriptAssembler& ULong(VL_ULONG n)
    {
        Op(VLSCR_OP_PUSH_ULONG);
        Put32(m_Code, n);
        return *this;
    }
    CScriptAssembler& Double(double d)
    {
        Op(VLSCR_OP_PUSH_DOUBLE);
        VL_BYTE b[8];
        std::memcpy(b, &d, 8);
        for (int i = 7; i >= 0; --i)  // big-endian on a little-endian host
            m_Code.push_back(b[i]);
        return *this;
    }
    CScriptAssembler& String(const std::string& s)
    {
        Op(VLSCR_OP_PUSH_STRING);
        Put32(m_Code, Literal(s));
        return *this;
    }
    CScriptAssembler& Jump(VL_BYTE nOp, const std::string& strLabel)
    {
        Op(nOp);
        m_Fixups.push_back(std::make_pair(m_Code.size(), strLabel));
        Put32(m_Code, 0);
        return *this;
    }
    CScriptAssembler& JumpTo(VL_BYTE nOp, VL_ULONG nTarget)
    {
        Op(nOp);
        Put32(m_Code, nTarget);
        return *this;
    }
    CScriptAssembler& Label(const std::string& strLabel)
    {
        m_Labels[strLabel] = static_cast<VL_ULONG>(m_Code.size());
        return *this;
    }
    // Raw code bytes, taken as one instruction.
    CScriptAssembler& Raw(const std::vector<VL_BYTE>& bytes)
    {
        Begin();
        m_Code.insert(m_Code.end(), bytes.begin(), bytes.end());
        return *this;
    }
    VL_ULONG CodeSize() const { return static_cast<VL_ULONG>(m_Code.size()); }

    Image Build() const
    {
        std::vector<VL_BYTE> code = m_Code;
        for (const auto& f : m_Fixups) {
            auto it = m_Labels.find(f.second);
            VL_ULONG n = it != m_Labels.end() ? it->second : 0xffffffffu;
            Set32(code, f.first, n);
        }
        std::vector<VL_BYTE> lines;
        Put32(lines, m_nSourceOffset);
        lines.insert(lines.end(), m_Lines.begin(), m_Lines.end());

        Image img(VLSCRIPT_HEADER_SIZE, 0);
        std::memcpy(img.data(), VLSCRIPT_MAGIC, 8);
        img[8] = 1;
        img[13] = m_nReturnType;
        VL_ULONG nPool = VLSCRIPT_HEADER_SIZE;
        VL_ULONG nParams = nPool + static_cast<VL_ULONG>(m_Pool.size());
        VL_ULONG nCode = nParams + static_cast<VL_ULONG>(m_Params.size());
        VL_ULONG nLines = nCode + static_cast<VL_ULONG>(code.size());
        VL_ULONG nSize = nLines + static_cast<VL_ULONG>(lines.size());
        img.reserve(nSize);
        Set32(img, 9, nSize);
        Set32(img, 14, nPool);
        Set32(img, 18, nParams);
        Set32(img, 22, nCode);
        Set32(img, 26, nLines);
        img.insert(img.end(), m_Pool.begin(), m_Pool.end());
        img.insert(img.end(), m_Params.begin(), m_Params.end());
        img.insert(img.end(), code.begin(), code.end());
        img.insert(img.end(), lines.begin(), lines.end());
        return img;
    }

    static void Put32(std::vector<VL_BYTE>& v, VL_ULONG n)
    {
        v.push_back(static_cast<VL_BYTE>(n >> 24));
        v.push_back(static_cast<VL_BYTE>(n >> 16));
        v.push_back(static_cast<VL_BYTE>(n >> 8));
        v.push_back(static_cast<VL_BYTE>(n));
    }
    static void Set32(std::vector<VL_BYTE>& v, size_t nPos, VL_ULONG n)
    {
        v[nPos] = static_cast<VL_BYTE>(n >> 24);
        v[nPos + 1] = static_cast<VL_BYTE>(n >> 16);
        v[nPos + 2] = static_cast<VL_BYTE>(n >> 8);
        v[nPos + 3] = static_cast<VL_BYTE>(n);
    }
    static VL_ULONG Get32(const std::vector<VL_BYTE>& v, size_t nPos)
    {
        return (static_cast<VL_ULONG>(v[nPos]) << 24) | (static_cast<VL_ULONG>(v[nPos + 1]) << 16) |
               (static_cast<VL_ULONG>(v[nPos + 2]) << 8) | v[nPos + 3];
    }

private:
    void Begin()
    {
        if (m_nLine != m_nLastLine || m_Code.empty()) {
            Put32(m_Lines, static_cast<VL_ULONG>(m_Code.size()));
            Put32(m_Lines, m_nLine);
            m_nLastLine = m_nLine;
        }
    }
    CScriptAssembler& OpName(VL_BYTE nOp, const std::string& strName)
    {
        Op(nOp);
        Put32(m_Code, Str(strName));
        return *this;
    }

    VL_BYTE m_nReturnType;
    VL_ULONG m_nLine;
    VL_ULONG m_nLastLine;
    VL_ULONG m_nSourceOffset;
    std::vector<VL_BYTE> m_Pool;
    std::map<std::string, VL_ULONG> m_PoolMap;
    std::vector<VL_BYTE> m_Params;
    std::vector<VL_BYTE> m_Code;
    std::vector<VL_BYTE> m_Lines;
    std::map<std::string, VL_ULONG> m_Labels;
    std::vector<std::pair<size_t, std::string>> m_Fixups;
};

#endif

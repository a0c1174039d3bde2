#include <gtest/gtest.h>

#include "tests/support/script/ScriptAssembler.h"
#include "script/VLScript.h"
#include "script/VLScriptException.h"
#include "script/VLScriptProgram.h"
#include "tests/support/TestSupport.h"

namespace {
typedef CScriptAssembler::Image Image;

Image Minimal()
{
    CScriptAssembler a("Fn", "src.vls");
    a.Op(VLSCR_OP_RETURN);
    return a.Build();
}

// Loads a borrowed image; the error code, or 0 on success.
int LoadCode(CVLScript& s, const Image& img, size_t nSize = static_cast<size_t>(-1))
{
    try {
        s.Load(img.data(), static_cast<VL_SIZE_T>(nSize == static_cast<size_t>(-1) ? img.size() : nSize), true);
        return 0;
    } catch (EVLScriptException* e) {
        int n = e->GetErrorCode();
        EXPECT_EQ(e->GetScriptLine(), 0);
        EXPECT_EQ(Bytes(e->GetScriptName()), "");
        e->Delete();
        return n;
    }
}
}  // namespace

TEST(ScriptLoad, AValidImageGivesNamesAndSections)
{
    Image img = Minimal();
    CVLScript s;
    ASSERT_EQ(LoadCode(s, img), 0);
    EXPECT_EQ(Bytes(s.GetName()), "Fn");
    EXPECT_EQ(Bytes(s.GetSourceName()), "src.vls");
    EXPECT_EQ(s.GetSize(), img.size());
    EXPECT_EQ(s.GetData(), img.data());
    EXPECT_EQ(s.GetPool(), img.data() + 58);
    ASSERT_NE(s.GetProgram(), nullptr);
    s.Unload();
    EXPECT_EQ(s.GetData(), nullptr);
    EXPECT_EQ(s.GetCode(), nullptr);
    EXPECT_EQ(Bytes(s.GetName()), "");
    EXPECT_EQ(s.GetProgram(), nullptr);
}

TEST(ScriptLoad, SizeBoundaries)
{
    CVLScript s;
    Image img = Minimal();
    // 57 bytes and less are too small to hold a header.
    EXPECT_EQ(LoadCode(s, img, 57), VLSCR_ERR_INVALID_SIZE);
    EXPECT_EQ(LoadCode(s, img, 0), VLSCR_ERR_INVALID_SIZE);
    // The stored size must match the given one, even when the block is longer.
    Image longer = img;
    longer.push_back(0);
    EXPECT_EQ(LoadCode(s, longer), VLSCR_ERR_INVALID_SIZE);
    EXPECT_EQ(LoadCode(s, img, img.size() - 1), VLSCR_ERR_INVALID_SIZE);
    EXPECT_EQ(s.GetData(), nullptr);
}

TEST(ScriptLoad, MagicAndVersion)
{
    CVLScript s;
    Image img = Minimal();
    Image bad = img;
    bad[0] = 'X';
    EXPECT_EQ(LoadCode(s, bad), VLSCR_ERR_NOT_SCRIPT_CODE);
    bad = img;
    bad[8] = 2;
    EXPECT_EQ(LoadCode(s, bad), VLSCR_ERR_UNSUPPORTED_VERSION);
    bad[8] = 0;
    EXPECT_EQ(LoadCode(s, bad), 0);
}

TEST(ScriptLoad, SectionOffsetsMustBeOrderedAndInside)
{
    Image img = Minimal();
    VL_ULONG nSize = static_cast<VL_ULONG>(img.size());
    CVLScript s;
    // The line table may start at the very end (no table).
    Image t = img;
    CScriptAssembler::Set32(t, 26, nSize);
    EXPECT_EQ(LoadCode(s, t), 0);
    EXPECT_EQ(s.GetLineNumber(s.GetCode()), 0u);
    CScriptAssembler::Set32(t, 26, nSize + 1);
    EXPECT_EQ(LoadCode(s, t), VLSCR_ERR_INVALID_POINTER);
    // The pool may not start inside the header.
    t = img;
    CScriptAssembler::Set32(t, 14, 57);
    EXPECT_EQ(LoadCode(s, t), VLSCR_ERR_INVALID_POINTER);
    // Sections out of order.
    t = img;
    CScriptAssembler::Set32(t, 22, CScriptAssembler::Get32(img, 26) + 1);
    EXPECT_EQ(LoadCode(s, t), VLSCR_ERR_INVALID_POINTER);
    t = img;
    CScriptAssembler::Set32(t, 18, CScriptAssembler::Get32(img, 14) - 1);
    EXPECT_EQ(LoadCode(s, t), VLSCR_ERR_INVALID_POINTER);
    // Every section at the very end: empty sections, empty names.
    t = img;
    for (int nOfs : {14, 18, 22, 26})
        CScriptAssembler::Set32(t, static_cast<size_t>(nOfs), nSize);
    EXPECT_EQ(LoadCode(s, t), 0);
    EXPECT_EQ(Bytes(s.GetName()), "");
    EXPECT_EQ(Bytes(s.GetSourceName()), "");
}

TEST(ScriptLoad, SourceNameWhenItEqualsTheFunctionName)
{
    // The pool holds the shared text once; the line table names it.
    CScriptAssembler a("Same", "Same");
    a.Param(6, "x").Op(VLSCR_OP_RETURN);
    CVLScript s;
    Image img = a.Build();
    ASSERT_EQ(LoadCode(s, img), 0);
    EXPECT_EQ(Bytes(s.GetName()), "Same");
    EXPECT_EQ(Bytes(s.GetSourceName()), "Same");
    // Without a line table the second pool text is taken.
    Image t = img;
    CScriptAssembler::Set32(t, 26, static_cast<VL_ULONG>(t.size()));
    ASSERT_EQ(LoadCode(s, t), 0);
    EXPECT_EQ(Bytes(s.GetSourceName()), "x");
}

TEST(ScriptLoad, NamesThatRunPastThePoolAreEmpty)
{
    Image img = Minimal();
    // Cut the pool's terminators: the name would run into the code.
    Image t = img;
    for (size_t i = 58; i < CScriptAssembler::Get32(img, 18); ++i)
        if (t[i] == 0)
            t[i] = 'z';
    CVLScript s;
    ASSERT_EQ(LoadCode(s, t), 0);
    EXPECT_EQ(Bytes(s.GetName()), "");
    EXPECT_EQ(Bytes(s.GetSourceName()), "");
}

TEST(ScriptLoad, OwnedImagesAndCopies)
{
    Image img = Minimal();
    VL_BYTE* p = new VL_BYTE[img.size()];
    std::memcpy(p, img.data(), img.size());
    CVLScript s;
    s.Load(p, static_cast<VL_SIZE_T>(img.size()), false);
    CVLScript copy;
    copy = s;  // owned: copied into a new block
    EXPECT_NE(copy.GetData(), s.GetData());
    EXPECT_EQ(Bytes(copy.GetName()), "Fn");
    CVLScript borrowed;
    borrowed.Load(img.data(), static_cast<VL_SIZE_T>(img.size()), true);
    CVLScript copy2(borrowed);  // borrowed: shared
    EXPECT_EQ(copy2.GetData(), img.data());
    copy2 = CVLScript();
    EXPECT_EQ(copy2.GetData(), nullptr);
    // A failed load releases an owned block (ASan checks for the leak).
    VL_BYTE* q = new VL_BYTE[img.size()];
    std::memcpy(q, img.data(), img.size());
    q[0] = 'Q';
    EXPECT_THROW(
        {
            try {
                s.Load(q, static_cast<VL_SIZE_T>(img.size()), false);
            } catch (EVLScriptException* e) {
                EXPECT_EQ(e->GetErrorCode(), VLSCR_ERR_NOT_SCRIPT_CODE);
                e->Delete();
                throw 1;
            }
        },
        int);
    EXPECT_EQ(s.GetData(), nullptr);
}

TEST(ScriptLoad, LineNumbers)
{
    CScriptAssembler a;
    a.Line(3).Long(1).Long(2).Op(VLSCR_OP_ADD).Line(7).Op(VLSCR_OP_RETURN);
    Image img = a.Build();
    CVLScript s;
    ASSERT_EQ(LoadCode(s, img), 0);
    const VL_BYTE* c = s.GetCode();
    EXPECT_EQ(s.GetLineNumber(c), 3u);
    EXPECT_EQ(s.GetLineNumber(c + 5), 3u);
    EXPECT_EQ(s.GetLineNumber(c + 10), 3u);
    EXPECT_EQ(s.GetLineNumber(c + 11), 7u);
    EXPECT_EQ(s.GetLineNumber(c - 1), 0u);
    EXPECT_EQ(s.GetLineNumber(s.GetLineTable()), 0u);
    const CVLScriptProgram* p = s.GetProgram();
    ASSERT_EQ(p->m_Code.size(), 5u);
    EXPECT_EQ(p->m_Code[2].nLine, 3u);
    EXPECT_EQ(p->m_Code[3].nLine, 7u);
    EXPECT_EQ(p->m_Code[3].nOffset, 11u);
    EXPECT_EQ(p->m_Code[4].nOp, VLSCR_IOP_END);
    EXPECT_EQ(p->m_Code[4].nLine, 7u);
}

TEST(ScriptLoad, DecodingMarksFaultsInsteadOfTrustingTheImage)
{
    CScriptAssembler a;
    a.Jump(VLSCR_OP_JUMP, "end")              // fine: the return instruction
        .JumpTo(VLSCR_OP_JUMP, 1)             // into an operand
        .JumpTo(VLSCR_OP_JUMP_FALSE, 1000)    // outside the code
        .Label("end")
        .Op(VLSCR_OP_RETURN)
        .Raw({0x67, 0x00, 0x00, 0x10, 0x00})  // a name far outside the pool
        .Raw({0x99})                          // no such opcode
        .Raw({0x60, 0x01});                   // cut-off operand (never decoded)
    Image img = a.Build();
    CVLScript s;
    ASSERT_EQ(LoadCode(s, img), 0);
    const CVLScriptProgram* p = s.GetProgram();
    ASSERT_EQ(p->m_Code.size(), 7u);
    EXPECT_EQ(p->m_Code[0].nOp, VLSCR_OP_JUMP);
    EXPECT_EQ(p->m_Code[0].u.nIndex, 3u);
    EXPECT_EQ(p->m_Code[1].nOp, VLSCR_IOP_FAULT);
    EXPECT_EQ(p->m_Code[2].nOp, VLSCR_IOP_FAULT);
    EXPECT_EQ(p->m_Code[4].nOp, VLSCR_IOP_FAULT);
    EXPECT_EQ(p->m_Code[5].nOp, VLSCR_IOP_FAULT);
    EXPECT_EQ(p->m_Code[6].nOp, VLSCR_IOP_END);
}

TEST(ScriptLoad, StringLiteralsAreStoredScrambled)
{
    CScriptAssembler a;
    VL_ULONG n = a.Literal("abc");
    a.String("abc").Op(VLSCR_OP_RETURN);
    Image img = a.Build();
    EXPECT_EQ(img[58 + n], 0x9e);
    EXPECT_EQ(img[58 + n + 1], 0x9d);
    EXPECT_EQ(img[58 + n + 2], 0x9c);
    EXPECT_EQ(img[58 + n + 3], 0x00);
    CVLScript s;
    ASSERT_EQ(LoadCode(s, img), 0);
    ASSERT_EQ(s.GetProgram()->m_Strings.size(), 1u);
    EXPECT_EQ(Bytes(s.GetProgram()->m_Strings[0]), "abc");
    const VL_BYTE* pOperand = s.GetCode() + 1;
    CVLString str = s.ReadString(pOperand);
    EXPECT_EQ(pOperand, s.GetCode() + 5);
    EXPECT_EQ(str.GetLength(), 3);
}

TEST(ScriptOpcodes, OperandSizes)
{
    EXPECT_EQ(VLScriptOperandSize(0x01), 5);
    EXPECT_EQ(VLScriptOperandSize(0x02), 4);
    EXPECT_EQ(VLScriptOperandSize(0x62), 8);
    EXPECT_EQ(VLScriptOperandSize(0x13), 0);
    EXPECT_EQ(VLScriptOperandSize(0x00), -1);
    EXPECT_EQ(VLScriptOperandSize(0x58), -1);
    EXPECT_EQ(VLScriptOperandSize(0x69), -1);
    EXPECT_STREQ(VLScriptOpcodeName(0x56), "!");
}

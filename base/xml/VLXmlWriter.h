// Writes a document the way its nodes' WriteXml do, into one buffer that it
// hands to the target stream in large pieces: names, quotes, indents and
// escaped texts are copied into the buffer, without a string made for each
// tag and attribute and without a call into the stream for each fragment.
// Nodes of the library's own classes are written here; a node of another
// class (a subclass with a WriteXml of its own) writes itself through this
// writer, which is a stream too.
#ifndef VLXMLWRITER_H
#define VLXMLWRITER_H

#include <cstddef>
#include <cstring>

#include "base/core/VLStream.h"

class CVLXmlAttribute;
class CVLXmlCharacterData;
class CVLXmlDocument;
class CVLXmlElement;
class CVLXmlNodeList;
class IVLXmlNode;

class CVLXmlWriter : public IVLStream
{
public:
    explicit CVLXmlWriter(IVLStream* pTarget);
    virtual ~CVLXmlWriter();

    // As pNode->WriteXml(target, nLevel, bShallow, bInline).
    void WriteNode(const IVLXmlNode* pNode, int nLevel, bool bShallow, bool bInline);
    // Hands what is left in the buffer to the target.
    void Finish();

    // The stream that nodes of other classes write to: Write buffers, the
    // rest has nothing to do.
    virtual CVLString GetClassName() const override;
    virtual void Open(VL_OPEN_MODE) override {}
    virtual bool IsOpen() override { return true; }
    virtual void Close() override {}
    virtual VL_SIZE_T Read(VL_BYTE*, VL_SIZE_T) override { return 0; }
    virtual void Write(const VL_BYTE* pBuffer, VL_SIZE_T nBufferSize) override
    {
        Put(reinterpret_cast<const char*>(pBuffer), nBufferSize);
    }
    virtual void Flush() override {}
    virtual void Seek(VL_SIZE_T) override {}
    virtual VL_SIZE_T GetSize() override { return 0; }
    virtual void Clear() override {}
    virtual VL_CONST_STR GetTypeName() const override { return "CVLXmlWriter"; }
    virtual void Destroy() override {}

private:
    CVLXmlWriter(const CVLXmlWriter&) = delete;
    CVLXmlWriter& operator=(const CVLXmlWriter&) = delete;

    void Put(const char* p, std::size_t n)
    {
        if (n > kBufferBytes - m_nUsed) {
            Spill(p, n);
            return;
        }
        std::memcpy(m_pBuffer + m_nUsed, p, n);
        m_nUsed += n;
    }
    void Put(const CVLString& str);
    void Spill(const char* p, std::size_t n);

    // The document whose settings a node's writing follows, or null; false
    // when it is of another class (its node then writes itself).
    static bool Settings(const IVLXmlNode* pNode, const CVLXmlDocument*& pDoc);
    void PutIndent(const CVLXmlDocument* pDoc, int nLevel);
    void PutLineEnd(const CVLXmlDocument* pDoc);
    void PutEscaped(const CVLXmlDocument* pDoc, const char* p, int n, bool bAttribute);

    // How an element's children are written: classified as the document's
    // WriteXml does, or (when the document keeps its text) as they are, or
    // laid out with their blanks left out.
    enum EContent
    {
        CONTENT_CLASSIFIED,
        CONTENT_AS_IS,
        CONTENT_LAID_OUT
    };
    // What a document that keeps its text passes on to an element's
    // children: xml:space="preserve" in force, and an element with text
    // above (whose subtree is written as it is).
    struct SKeep
    {
        bool bPreserve;
        bool bFixed;
    };
    // The way pElement's children are written; keep turns from what holds
    // for pElement into what holds for its children.
    static EContent ContentOf(const CVLXmlDocument* pDoc, const CVLXmlElement* pElement, SKeep& keep);
    // What holds for pElement from its ancestors.
    static SKeep KeepAbove(const CVLXmlElement* pElement);

    void WriteDocument(const CVLXmlDocument* pDoc, int nLevel, bool bShallow);
    void WriteElement(const CVLXmlElement* pElement, int nLevel, bool bShallow, bool bInline);
    bool WriteStart(const CVLXmlElement* pElement, int nLevel, bool bShallow, bool bInline, EContent eContent,
                    bool& bText);
    void WriteEnd(const CVLXmlElement* pElement, int nLevel, bool bInline, bool bText);
    void WriteAttribute(const CVLXmlAttribute* pAttr);
    void WriteText(const CVLXmlCharacterData* pText);
    void WriteComment(const CVLXmlCharacterData* pComment, int nLevel, bool bShallow, bool bInline);
    // As CVLXmlDocument::ClassifyChildren.
    static void Classify(const CVLXmlNodeList& children, bool& bContent, bool& bText);

    static const std::size_t kBufferBytes = 64 * 1024;
    IVLStream* m_pTarget;
    char* m_pBuffer;
    std::size_t m_nUsed;
};

#endif

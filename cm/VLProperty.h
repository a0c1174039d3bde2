// One node of a property tree: a value (the variant part) with a name, a
// parent, children in creation order keyed by name, and the "variable" and
// "auto" flags of the definition element that declared it.
//
// Nodes are made and deleted only through the module controller's factory
// hooks, so an embedding layer can put its own node class everywhere in a
// tree. A tree takes no lock; its owner serializes access.
//
// A node bound to its definition builds its declared children one by one,
// each the first time a path or a lookup by name reaches it (an "auto" node
// notes them when a path first passes through it, any other node when it is
// bound); until then a declared child counts (GetChildCount), dumps and
// copies as the empty node it would be.
// Iterating, creating or removing children builds the rest first, so every
// reader sees the children and order a full expansion gives.
//
// Paths are relative and dotted ("VLPC.03_0000_01.ModelName"): each segment is
// an exact child key; an empty path, a leading dot or an empty segment resolve
// to nothing, and a trailing dot is ignored. Child names therefore never
// contain ".", and no node lies deeper than VLCM_PROPERTY_MAX_DEPTH below its
// root.
#ifndef VLPROPERTY_H
#define VLPROPERTY_H

#include "base/value/VLVariant.h"
#include "base/value/VLVariantObjectIF.h"
#include "cm/VLApiObject.h"
#include "cm/VLCMDefs.h"
#include "cm/VLPropertyIterator.h"

class CVLPropertyCollection;
class CVLXmlElement;

class CVLProperty : public CVLVariant, public CVLApiObject, public IVLVariantObjectIF
{
public:
    using CVLVariant::operator=;

    // Without facade and parent: for derived classes' default constructors;
    // such a node is deleted by whoever made it.
    CVLProperty();
    CVLProperty(CVLCMApi* pApi, CVLProperty* pParent);
    virtual ~CVLProperty();

    // Hands the node (and its subtree) to the module controller for deletion.
    virtual void Destroy();
    virtual const CVLString& GetName() const;
    // Renames the node; its key in the parent stays. A name holding "." is
    // refused (EVLInvalidParamException): no path could reach it.
    virtual void SetName(const char* szName);
    virtual bool IsVariable() const;
    virtual void SetVariable(bool bVariable);
    // True when the value and every value below are empty.
    virtual bool IsEmpty() const;
    // True when the value or any value below is modified.
    virtual bool IsModified() const;
    // Empties the value; a variable node destroys its children, any other
    // node clears each child.
    virtual void Clear();
    virtual void ResetModify();

    // Builds the named declared child when it is not built yet (building
    // changes nothing a reader sees).
    virtual CVLProperty* FindChild(const char* szName) const;
    // A null or empty name files the child under the child count; a taken
    // name, a name holding "." or a child beyond the depth limit throws
    // EVLInvalidParamException.
    virtual CVLProperty* CreateChild(const char* szName);
    virtual void RemoveChild(const char* szName);
    virtual void RemoveAll();
    virtual CVLPropertyIterator Begin();
    virtual CVLPropertyConstIterator ConstBegin() const;
    virtual int GetChildCount() const;

    // The node the path names below this one, or null; with bCreate missing
    // nodes are created on the way.
    virtual CVLProperty* GetProperty(const char* szPath, bool bCreate);
    virtual CVLString GetFullPath() const;

    // Overlays pSource's subtree: the source wins node by node, nodes only
    // this tree has stay. Source and destination must not overlap.
    virtual void Merge(const CVLProperty* pSource);
    CVLProperty& operator=(const CVLProperty& source);
    // Makes this subtree a copy of pSource's.
    virtual void Assign(const CVLProperty* pSource);
    virtual void* GetExtension() const;
    // The subtree as text, one line per node, indented by tabs; an unnamed
    // node prints szRootLabel ("<root>" for null).
    virtual CVLString Dump(int nLevel, const char* szRootLabel) const;
    using CVLVariant::Dump;

    // The value seen as an object value (IVLVariantObjectIF).
    virtual int GetObjectType() const;
    virtual void SetObjectValue(const CVLVariant& value);
    virtual void GetObjectValue(CVLVariant& value) const;
    // Called just before the controller deletes the node.
    virtual void OnDelete();
    // Receives the source's extension at the end of Assign.
    virtual void CopyExtension(void* pExtension);

    // One slot for the variant and the object interface: the value's type.
    virtual int GetType() const override;
    // One slot for the variant and the object interface: stores the value
    // with its modified flag (SetObjectValue).
    virtual void SetValue(const CVLVariant& src) override;
    virtual void GetValue(CVLVariant& out) const override;

    bool IsAuto() const { return m_bAuto; }
    // Binds the node to the element that declares it and takes its flags; a
    // node neither variable nor auto then has its declared children.
    void SetDefinition(const CVLXmlElement* pDefinition);
    const CVLXmlElement* GetDefinition() const { return m_pDefinition; }
    // Builds every declared child at once.
    void ExpandDefinition();
    // Value, name, flags and definition of the source node only.
    void CopyOwn(const CVLProperty& source);

    // The nodes built in this subtree, this one included: what it holds in
    // memory (declared children not built yet count for nothing).
    int GetNodeCount() const;

    CVLProperty* GetParent() const { return m_pParent; }
    // Levels below the root: 0 for a root.
    int GetDepth() const { return m_nDepth; }

protected:
    CVLString m_strName;
    CVLPropertyCollection* m_pChildren;
    CVLProperty* m_pParent;
    bool m_bVariable;
    bool m_bAuto;
    int m_nDepth;
    const CVLXmlElement* m_pDefinition;

private:
    struct LazyChildren;

    // The declared children noted and which of them are built (null when
    // every one is built or none was noted).
    LazyChildren* m_pLazy;

    CVLProperty(const CVLProperty&) = delete;
    // The collection, made through the factory on first need.
    CVLPropertyCollection* GetChildren();
    // The expansion of a node at binding, or of an auto node when a path
    // first passes through it: the declared children are noted, not built.
    // A node with children already, or a definition whose children could
    // not all be built (empty, dotted or repeated names, too deep) or that
    // declares more than 64, is expanded at once, so that it fails as a
    // full expansion fails.
    void ExpandLazily();
    // Builds the declared child nIndex (declared by pElement) in its
    // declared place.
    CVLProperty* BuildDeclared(int nIndex, const CVLXmlElement* pElement);
    // Builds the declared child of that name when it is not built yet and
    // returns it; null when no such child waits.
    CVLProperty* BuildNamed(const char* pName, size_t nLength);
    // Builds every declared child not built yet.
    void BuildAllDeclared();
    void DropLazy();
    // True when this node still waits to build the declared child of that
    // element.
    bool IsPending(const CVLXmlElement* pElement) const;
    // Appends this node's own line of the dump.
    void DumpLine(CVLString& strText, int nLevel, const char* szRootLabel) const;
    // Appends the dump of a declared child that is not built: its line and
    // its declared subtree's, all empty.
    static void DumpDeclared(CVLString& strText, int nLevel, const CVLXmlElement* pElement);
    // True when pOther is this node, one above it or one below it.
    bool Overlaps(const CVLProperty* pOther) const;
};

#endif

#pragma once
// Limits that make a property list from disk safe to read: every reader of
// nested values here recurses, so nesting is bounded, and a binary property
// list is checked before libplist sees it (libplist aborts the process on a
// dictionary key holding U+0000).

#include <QByteArray>

namespace pugi { class xml_node; }

// Far deeper than any library or footer nests, far shallower than a stack.
inline constexpr int kMaxPropertyListDepth = 256;

// Whether no element below node lies more than maxDepth levels under it.
// Walks the tree without recursion.
bool xmlNestingWithin(const pugi::xml_node& node, int maxDepth = kMaxPropertyListDepth);

// A binary property list ("bplist00") whose offsets lie inside it, whose
// containers nest at most maxDepth deep, and whose dictionary keys are
// strings without U+0000. Walks the objects without recursion and gives up
// on a list that would visit more than a million of them.
bool isSafeBinaryPropertyList(const QByteArray& bytes, int maxDepth = kMaxPropertyListDepth);

bool isBinaryPropertyList(const QByteArray& bytes);

// Text that parses as XML nested at most maxDepth deep.
bool isShallowXML(const QByteArray& bytes, int maxDepth = kMaxPropertyListDepth);

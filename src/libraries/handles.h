// The opaque handles of the plug-in interface are the host's own objects.
#ifndef ORIN_LIBRARIES_HANDLES_H_
#define ORIN_LIBRARIES_HANDLES_H_

#include "orin/plugin.h"

namespace orin {

class File;
class HttpResponse;
class LinkBuffer;
class NetworkConnection;
class Segment;
class Variable;
class VariableHash;
class VariableList;
class ZetoVM;
struct SystemLibrary;

inline ZetoVM* Host(ztProgram* p) {
  return reinterpret_cast<ZetoVM*>(p);
}
inline ztProgram* Handle(ZetoVM* p) {
  return reinterpret_cast<ztProgram*>(p);
}
inline Variable* Host(ztVariable* v) {
  return reinterpret_cast<Variable*>(v);
}
inline ztVariable* Handle(Variable* v) {
  return reinterpret_cast<ztVariable*>(v);
}
inline VariableList* Host(ztVariableList* l) {
  return reinterpret_cast<VariableList*>(l);
}
inline ztVariableList* Handle(VariableList* l) {
  return reinterpret_cast<ztVariableList*>(l);
}
inline VariableHash* Host(ztVariableHash* h) {
  return reinterpret_cast<VariableHash*>(h);
}
inline ztVariableHash* Handle(VariableHash* h) {
  return reinterpret_cast<ztVariableHash*>(h);
}
inline LinkBuffer* Host(ztLinkBuffer* b) {
  return reinterpret_cast<LinkBuffer*>(b);
}
inline ztLinkBuffer* Handle(LinkBuffer* b) {
  return reinterpret_cast<ztLinkBuffer*>(b);
}
inline File* Host(ztFile* f) {
  return reinterpret_cast<File*>(f);
}
inline ztFile* Handle(File* f) {
  return reinterpret_cast<ztFile*>(f);
}
inline NetworkConnection* Host(ztNetworkConnection* c) {
  return reinterpret_cast<NetworkConnection*>(c);
}
inline ztNetworkConnection* Handle(NetworkConnection* c) {
  return reinterpret_cast<ztNetworkConnection*>(c);
}
inline HttpResponse* Host(ztHTTPResponse* r) {
  return reinterpret_cast<HttpResponse*>(r);
}
inline ztHTTPResponse* Handle(HttpResponse* r) {
  return reinterpret_cast<ztHTTPResponse*>(r);
}
inline Segment* Host(ztSegment* s) {
  return reinterpret_cast<Segment*>(s);
}
inline ztSegment* Handle(Segment* s) {
  return reinterpret_cast<ztSegment*>(s);
}
inline SystemLibrary* Host(ztSystemLibrary* s) {
  return reinterpret_cast<SystemLibrary*>(s);
}
inline ztSystemLibrary* Handle(SystemLibrary* s) {
  return reinterpret_cast<ztSystemLibrary*>(s);
}

}  // namespace orin

#endif  // ORIN_LIBRARIES_HANDLES_H_

#include "vcl/TypInfo.h"

#include "vcl/Classes.h"
#include "vcl/Graphics.h"
#include "vcl/SysUtils.h"

namespace vcl {

int TEnumInfo::ValueOf(const std::string& Name) const {
  for (int i = 0; i < Count; ++i)
    if (SameText(Names[i], Name)) return i;
  return -1;
}

const TPropInfo* TClassInfo::Property(std::size_t Index) const {
  std::size_t inherited = Parent ? Parent->PropertyCount() : 0;
  if (Index < inherited) return Parent->Property(Index);
  Index -= inherited;
  return Index < PropCount ? &Props[Index] : nullptr;
}

const TPropInfo* TClassInfo::FindProperty(const std::string& PropName) const {
  for (const TClassInfo* c = this; c; c = c->Parent)
    for (std::size_t i = 0; i < c->PropCount; ++i)
      if (SameText(c->Props[i].Name, PropName)) return &c->Props[i];
  return nullptr;
}

namespace {

std::string SetToText(const TEnumInfo& Enum, std::int64_t Mask) {
  std::string out = "[";
  for (int i = 0; i < Enum.Count && i < 32; ++i)
    if ((Mask >> i) & 1) {
      if (out.size() > 1) out += ", ";
      out += Enum.Names[i];
    }
  return out + "]";
}

std::string Trim(const std::string& S) {
  std::size_t b = S.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  std::size_t e = S.find_last_not_of(" \t");
  return S.substr(b, e - b + 1);
}

std::int64_t TextToSet(const TEnumInfo& Enum, const std::string& Text) {
  std::string t = Trim(Text);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']')
    throw EConvertError("'" + Text + "' is not a set of " + Enum.TypeName);
  std::int64_t mask = 0;
  std::string body = t.substr(1, t.size() - 2);
  std::size_t pos = 0;
  while (pos <= body.size()) {
    std::size_t comma = body.find(',', pos);
    std::string item = Trim(body.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
    if (!item.empty()) {
      int v = Enum.ValueOf(item);
      if (v < 0 || v >= 32)
        throw EConvertError("'" + item + "' is not an element of " + Enum.TypeName);
      mask |= std::int64_t{1} << v;
    } else if (comma != std::string::npos || !Trim(body).empty()) {
      throw EConvertError("'" + Text + "' is not a set of " + Enum.TypeName);
    }
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  return mask;
}

}  // namespace

std::string GetPropText(const TObject& Instance, const TPropInfo& Prop) {
  switch (Prop.Kind) {
    case TTypeKind::Integer: return IntToStr(Prop.GetOrd(Instance));
    case TTypeKind::Boolean: return Prop.GetOrd(Instance) ? "True" : "False";
    case TTypeKind::Enumeration: {
      std::int64_t v = Prop.GetOrd(Instance);
      const char* name = Prop.Enum->NameOf(v);
      return name ? name : IntToStr(v);
    }
    case TTypeKind::Set: return SetToText(*Prop.Enum, Prop.GetOrd(Instance));
    case TTypeKind::Color: return ColorToString(static_cast<TColor>(Prop.GetOrd(Instance)));
    case TTypeKind::String: return Prop.GetStr(Instance);
    case TTypeKind::Class:
    case TTypeKind::Component: {
      TObject* o = Prop.GetObj(Instance);
      if (!o) return {};
      if (auto* c = dynamic_cast<TComponent*>(o); c && Prop.Kind == TTypeKind::Component) return c->GetName();
      return "(" + o->ClassName() + ")";
    }
  }
  return {};
}

void SetPropText(TObject& Instance, const TPropInfo& Prop, const std::string& Text) {
  if (!Prop.Writable()) throw EConvertError(std::string("Property ") + Prop.Name + " is read-only");
  switch (Prop.Kind) {
    case TTypeKind::Integer: Prop.SetOrd(Instance, StrToInt(Text)); return;
    case TTypeKind::Boolean: {
      std::string t = UpperCase(Trim(Text));
      if (t == "TRUE") Prop.SetOrd(Instance, 1);
      else if (t == "FALSE") Prop.SetOrd(Instance, 0);
      else throw EConvertError("'" + Text + "' is not a valid boolean value");
      return;
    }
    case TTypeKind::Enumeration: {
      int v = Prop.Enum->ValueOf(Trim(Text));
      if (v < 0) throw EConvertError("'" + Text + "' is not a value of " + Prop.Enum->TypeName);
      Prop.SetOrd(Instance, v);
      return;
    }
    case TTypeKind::Set: Prop.SetOrd(Instance, TextToSet(*Prop.Enum, Text)); return;
    case TTypeKind::Color: Prop.SetOrd(Instance, StringToColor(Trim(Text))); return;
    case TTypeKind::String: Prop.SetStr(Instance, Text); return;
    case TTypeKind::Class:
    case TTypeKind::Component:
      throw EConvertError(std::string("Property ") + Prop.Name + " does not take a text value");
  }
}

}  // namespace vcl

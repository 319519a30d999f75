// Run-time class and property information.
//
// Each class with published properties has one constant TClassInfo that
// points at its parent's and at a constant array of TPropInfo in declaration
// order. The tables are constant-initialised (no code runs to build them) and
// the reader, the writer and the design-time editors walk them through the
// typed thunks that the *Prop helpers below instantiate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <type_traits>

namespace vcl {

class TObject;
class TComponent;
struct TClassInfo;

enum class TTypeKind : std::uint8_t {
  Integer,      // 32-bit signed
  Boolean,
  String,       // 8-bit characters
  Enumeration,  // ordinal with element names
  Set,          // bit i set = element i of the enumeration is in the set
  Color,        // TColor, written by name where it has one
  Class,        // a sub-object (TPersistent) owned by the property's holder
  Component,    // a reference to another component, stored by name
};

// Element names of an enumeration, indexed by ordinal.
struct TEnumInfo {
  const char* TypeName;
  const char* const* Names;
  int Count;

  const char* NameOf(std::int64_t Ord) const {
    return Ord >= 0 && Ord < Count ? Names[Ord] : nullptr;
  }
  // -1 when Name is not an element (compared without regard to ASCII case).
  int ValueOf(const std::string& Name) const;
};

struct TPropInfo {
  const char* Name;
  TTypeKind Kind;
  const TEnumInfo* Enum = nullptr;    // Enumeration and Set
  const TClassInfo* Type = nullptr;   // Class and Component: the declared class

  // Integer, Boolean, Enumeration, Set and Color go through 64-bit ordinals.
  std::int64_t (*GetOrd)(const TObject&) = nullptr;
  void (*SetOrd)(TObject&, std::int64_t) = nullptr;
  std::string (*GetStr)(const TObject&) = nullptr;
  void (*SetStr)(TObject&, const std::string&) = nullptr;
  TObject* (*GetObj)(const TObject&) = nullptr;
  void (*SetObj)(TObject&, TObject*) = nullptr;

  bool HasDefault = false;            // ordinal kinds only
  std::int64_t Default = 0;
  bool (*IsStored)(const TObject&) = nullptr;  // null: stored whenever writable

  bool Writable() const { return SetOrd || SetStr || SetObj; }
  bool IsOrdinal() const {
    return Kind != TTypeKind::String && Kind != TTypeKind::Class && Kind != TTypeKind::Component;
  }
};

struct TClassInfo {
  const char* Name;
  const TClassInfo* Parent;
  const TPropInfo* Props = nullptr;   // this class's own published properties
  std::size_t PropCount = 0;
  // Creates an instance for the stored-form reader; null for classes that are
  // not created by name (abstract classes, non-components).
  TComponent* (*Construct)(TComponent* Owner) = nullptr;

  bool InheritsFrom(const TClassInfo* Other) const {
    for (const TClassInfo* c = this; c; c = c->Parent)
      if (c == Other) return true;
    return false;
  }
  // Total number of published properties, inherited ones included.
  std::size_t PropertyCount() const {
    return (Parent ? Parent->PropertyCount() : 0) + PropCount;
  }
  // Index runs over inherited properties first, in declaration order.
  const TPropInfo* Property(std::size_t Index) const;
  const TPropInfo* FindProperty(const std::string& PropName) const;  // ASCII case-insensitive
};

// ---- Thunks -------------------------------------------------------------

namespace detail {

template <class C, auto Get>
std::int64_t GetOrdThunk(const TObject& O) {
  return static_cast<std::int64_t>((static_cast<const C&>(O).*Get)());
}
template <class C, auto Set, class V>
void SetOrdThunk(TObject& O, std::int64_t Value) {
  (static_cast<C&>(O).*Set)(static_cast<V>(Value));
}
template <class C, auto Get>
std::string GetStrThunk(const TObject& O) {
  return (static_cast<const C&>(O).*Get)();
}
template <class C, auto Set>
void SetStrThunk(TObject& O, const std::string& Value) {
  (static_cast<C&>(O).*Set)(Value);
}
template <class C, auto Get>
TObject* GetObjThunk(const TObject& O) {
  return (static_cast<const C&>(O).*Get)();
}
template <class C, auto Set, class T>
void SetObjThunk(TObject& O, TObject* Value) {
  (static_cast<C&>(O).*Set)(static_cast<T*>(Value));
}
template <class C, auto Pred>
bool StoredThunk(const TObject& O) {
  return (static_cast<const C&>(O).*Pred)();
}

template <class M> struct MemberValue;
template <class C, class R> struct MemberValue<R (C::*)() const> { using type = std::remove_cvref_t<R>; };

}  // namespace detail

// Builders for one row of a property table. Get is a const member function
// returning the value; Set (or nullptr for a read-only property) a member
// taking it. Example:
//   vcl::IntegerProp<TBarcodeBmp, &TBarcodeBmp::GetScale, &TBarcodeBmp::SetScale>("Scale")
template <class C, auto Get, auto Set = nullptr>
constexpr TPropInfo OrdinalProp(const char* Name, TTypeKind Kind, const TEnumInfo* Enum = nullptr) {
  using V = typename detail::MemberValue<decltype(Get)>::type;
  TPropInfo P{Name, Kind, Enum};
  P.GetOrd = &detail::GetOrdThunk<C, Get>;
  if constexpr (!std::is_null_pointer_v<decltype(Set)>) P.SetOrd = &detail::SetOrdThunk<C, Set, V>;
  return P;
}

template <class C, auto Get, auto Set = nullptr>
constexpr TPropInfo IntegerProp(const char* Name) {
  return OrdinalProp<C, Get, Set>(Name, TTypeKind::Integer);
}
template <class C, auto Get, auto Set = nullptr>
constexpr TPropInfo BooleanProp(const char* Name) {
  return OrdinalProp<C, Get, Set>(Name, TTypeKind::Boolean);
}
template <class C, auto Get, auto Set = nullptr>
constexpr TPropInfo ColorProp(const char* Name) {
  return OrdinalProp<C, Get, Set>(Name, TTypeKind::Color);
}
template <class C, auto Get, auto Set = nullptr>
constexpr TPropInfo EnumProp(const char* Name, const TEnumInfo* Enum) {
  return OrdinalProp<C, Get, Set>(Name, TTypeKind::Enumeration, Enum);
}
// A set property's getter and setter exchange the TSet type (see Classes.h),
// which converts to and from its bit mask.
template <class C, auto Get, auto Set = nullptr>
constexpr TPropInfo SetProp(const char* Name, const TEnumInfo* Enum) {
  return OrdinalProp<C, Get, Set>(Name, TTypeKind::Set, Enum);
}

template <class C, auto Get, auto Set = nullptr>
constexpr TPropInfo StringProp(const char* Name) {
  TPropInfo P{Name, TTypeKind::String};
  P.GetStr = &detail::GetStrThunk<C, Get>;
  if constexpr (!std::is_null_pointer_v<decltype(Set)>) P.SetStr = &detail::SetStrThunk<C, Set>;
  return P;
}

// T is the declared class of the property; it must have a static ClassInfo.
template <class C, class T, auto Get, auto Set = nullptr>
constexpr TPropInfo ClassProp(const char* Name) {
  TPropInfo P{Name, TTypeKind::Class, nullptr, &T::ClassInfo};
  P.GetObj = &detail::GetObjThunk<C, Get>;
  if constexpr (!std::is_null_pointer_v<decltype(Set)>) P.SetObj = &detail::SetObjThunk<C, Set, T>;
  return P;
}
template <class C, class T, auto Get, auto Set>
constexpr TPropInfo ComponentProp(const char* Name) {
  TPropInfo P{Name, TTypeKind::Component, nullptr, &T::ClassInfo};
  P.GetObj = &detail::GetObjThunk<C, Get>;
  P.SetObj = &detail::SetObjThunk<C, Set, T>;
  return P;
}

// Modifiers, applied to a built row: WithDefault(IntegerProp<...>("Tag"), 0).
constexpr TPropInfo WithDefault(TPropInfo P, std::int64_t Default) {
  P.HasDefault = true;
  P.Default = Default;
  return P;
}
template <class C, auto Pred>
constexpr TPropInfo StoredWhen(TPropInfo P) {
  P.IsStored = &detail::StoredThunk<C, Pred>;
  return P;
}

// Generic access by property, for streaming, editors and tests. The ordinal
// and string forms convert: an enumeration reads as its element name, a set as
// "[a,b]", a Boolean as "True"/"False", a colour by name or as $00BBGGRR.
// SetPropText raises EConvertError for text that is not a value of the type.
std::string GetPropText(const TObject& Instance, const TPropInfo& Prop);
void SetPropText(TObject& Instance, const TPropInfo& Prop, const std::string& Text);

}  // namespace vcl

// Objects, persistent objects and components; the stored-form reader and
// writer; the class registry; named resources.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "SysUtils.h"
#include "TypInfo.h"

namespace vcl {

// Declares a class's run-time information. Put it first in the class body;
// it leaves the access at public. The matching definition is
//   constinit const vcl::TClassInfo TFoo::ClassInfo = {"TFoo", &TParent::ClassInfo, ...};
#define TVCL_CLASS(Class, Parent)                                              \
public:                                                                        \
  using inherited = Parent;                                                    \
  static const ::vcl::TClassInfo ClassInfo;                                    \
  const ::vcl::TClassInfo* ClassType() const override { return &ClassInfo; }

class TObject {
public:
  static const TClassInfo ClassInfo;
  virtual ~TObject() = default;
  virtual const TClassInfo* ClassType() const { return &ClassInfo; }
  std::string ClassName() const { return ClassType()->Name; }
  bool InheritsFrom(const TClassInfo* Class) const { return ClassType()->InheritsFrom(Class); }
};

// Checked downcast: raises EInvalidCast when Obj is not a T (null stays null).
template <class T>
T* As(TObject* Obj) {
  if (!Obj) return nullptr;
  if (T* t = dynamic_cast<T*>(Obj)) return t;
  throw EInvalidCast("Invalid class typecast: " + Obj->ClassName() + " is not a " +
                     T::ClassInfo.Name);
}

// A set of up to 32 elements of an enumeration E (ordinals 0..31).
template <class E>
class TSet {
public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> Elements) {
    for (E e : Elements) Include(e);
  }
  constexpr explicit TSet(std::int64_t Mask) : FBits(static_cast<std::uint32_t>(Mask)) {}
  constexpr explicit operator std::int64_t() const { return FBits; }
  constexpr std::uint32_t Mask() const { return FBits; }

  constexpr bool Contains(E e) const { return (FBits >> static_cast<unsigned>(e)) & 1u; }
  constexpr TSet& Include(E e) { FBits |= 1u << static_cast<unsigned>(e); return *this; }
  constexpr TSet& Exclude(E e) { FBits &= ~(1u << static_cast<unsigned>(e)); return *this; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr TSet operator|(TSet o) const { return TSet(std::int64_t(FBits | o.FBits)); }
  constexpr TSet operator&(TSet o) const { return TSet(std::int64_t(FBits & o.FBits)); }
  constexpr TSet operator-(TSet o) const { return TSet(std::int64_t(FBits & ~o.FBits)); }
  constexpr bool operator==(const TSet&) const = default;

private:
  std::uint32_t FBits = 0;
};

// What a persistent object offers the stored-form filer beyond its published
// properties: named blocks of bytes (a bitmap's pixels, say).
class TFiler {
public:
  virtual ~TFiler() = default;
  // Read receives the stored bytes when the form is read; Write yields them
  // when it is written, which happens only when HasData is true.
  virtual void DefineBinaryProperty(const std::string& Name,
                                    const std::function<void(const std::vector<std::uint8_t>&)>& Read,
                                    const std::function<std::vector<std::uint8_t>()>& Write,
                                    bool HasData) = 0;
};

class TPersistent : public TObject {
  TVCL_CLASS(TPersistent, TObject)
  // Copies Source into this object. The base implementation asks Source to
  // AssignTo this object and raises EConvertError when neither side knows how.
  virtual void Assign(const TPersistent* Source);
  virtual void DefineProperties(TFiler& Filer);

protected:
  virtual void AssignTo(TPersistent* Dest) const;
};

enum TComponentStateItem : std::uint8_t {
  csLoading,     // a stored form is being read into the component
  csReading,     // its own properties are being read
  csWriting,     // it is being written
  csDestroying,  // its destructor has started
  csDesigning,   // it lives in a design environment's form designer
  csFixups,      // it holds component references not yet resolved
};
using TComponentState = TSet<TComponentStateItem>;
extern const TEnumInfo ComponentStateInfo;

enum TOperation : std::uint8_t { opInsert, opRemove };

class TComponent : public TPersistent {
  TVCL_CLASS(TComponent, TPersistent)
  explicit TComponent(TComponent* AOwner);
  // Notifies every component that asked for it (opRemove), frees the owned
  // components, and leaves the owner. A derived class whose owned components
  // must go before its own fields calls DestroyComponents in its destructor.
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* GetOwner() const { return FOwner; }
  const std::string& GetName() const { return FName; }
  // An empty name or an identifier (letters, digits, '_', not starting with a
  // digit) unique among the owner's components; otherwise EComponentError.
  virtual void SetName(const std::string& NewName);
  std::int32_t GetTag() const { return FTag; }
  void SetTag(std::int32_t Value) { FTag = Value; }

  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int Index) const { return FComponents.at(static_cast<std::size_t>(Index)); }
  TComponent* FindComponent(const std::string& AName) const;  // ASCII case-insensitive
  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);
  void DestroyComponents();

  TComponentState ComponentState() const { return FComponentState; }
  // The design environment marks the components it edits, and everything they own.
  void SetDesigning(bool Value);

  // AComponent is told (Notification with opRemove) when this component is freed.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Called on every component of a stored form after the whole form has been
  // read; the base clears csLoading.
  virtual void Loaded();
  // Insertion into and removal from the owner reach the owner and everything
  // it owns; freeing reaches the components registered with FreeNotification.
  virtual void Notification(TComponent* AComponent, TOperation Operation);

  // The components written nested inside this one in a stored form: by
  // default, when this is the root, the ones it owns.
  virtual void GetChildren(const std::function<void(TComponent*)>& Proc, const TComponent* Root) const;
  // The reader calls this on each component with the one it is nested in
  // (controls take it as their parent); the base does nothing.
  virtual void SetParentComponent(TComponent* Value);

  // For the stored-form reader and the design environment.
  void SetComponentStateItem(TComponentStateItem Item, bool On);

private:
  void NotifyAll(TComponent* AComponent, TOperation Operation);

  TComponent* FOwner = nullptr;
  std::string FName;
  std::int32_t FTag = 0;
  TComponentState FComponentState;
  std::vector<TComponent*> FComponents;     // owned, in insertion order
  std::vector<TComponent*> FFreeNotifies;   // told when this one goes
};

// Creates a T for the stored-form reader; the TClassInfo of a streamable
// component names &ConstructComponent<TFoo> as its Construct.
template <class T>
TComponent* ConstructComponent(TComponent* Owner) {
  return new T(Owner);
}

// ---- Class registry -------------------------------------------------------
// Classes are registered explicitly (a package on load, an application at
// start), never by static constructors.
void RegisterClass(const TClassInfo* Class);
void RegisterClasses(std::initializer_list<const TClassInfo*> Classes);
void UnRegisterClass(const TClassInfo* Class);
const TClassInfo* GetClass(const std::string& Name);   // null when unknown
const TClassInfo* FindClass(const std::string& Name);  // EClassNotFound when unknown

// ---- Stored forms -----------------------------------------------------------
// The text form format:
//   object Name: TClassName
//     Property = value
//     Sub.Property = value
//     object Child: TChildClass
//     end
//   end
// Values: integers (decimal or $hex), 'strings' ('' for a quote, #nn for a
// character code, joined with +), True/False, identifiers (enumeration
// elements, colour names, component names), [set, elements], {hex bytes}.

// Writes Root, each published property that its rule stores, in declaration
// order, and its children.
std::string WriteComponentText(const TComponent& Root);
// Creates the root component of Text (owned by Owner), reads it whole and
// calls Loaded on every component read. Any error raises EReadError naming
// the line, and frees every component the call created.
TComponent* ReadComponentText(const std::string& Text, TComponent* Owner);
// The same into an existing root (a form reading its own layout); the class
// in the text must be Root's class. Children are created; on error they are
// freed again.
void ReadComponentTextInto(const std::string& Text, TComponent& Root);

// ---- Named resources ------------------------------------------------------
struct TResourceEntry {
  const char* Name;           // "TFBCMODAL"
  const char* Type;           // "FORM" (text form) or "BITMAP" (a BMP file)
  const unsigned char* Data;
  std::size_t Size;
};
struct TResourceModule {
  const char* ModuleName;
  const TResourceEntry* Entries;
  std::size_t Count;
};
// A loaded module registers its resources and unregisters them on unload.
void RegisterResourceModule(const TResourceModule* Module);
void UnregisterResourceModule(const TResourceModule* Module);
// Searches the modules newest first; names and types compare ASCII
// case-insensitively. Null when there is none.
const TResourceEntry* FindResource(const std::string& Name, const std::string& Type);

}  // namespace vcl

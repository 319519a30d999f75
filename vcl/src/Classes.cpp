#include "vcl/Classes.h"

#include <algorithm>
#include <mutex>

namespace vcl {

constinit const TClassInfo TObject::ClassInfo = {"TObject", nullptr};
constinit const TClassInfo TPersistent::ClassInfo = {"TPersistent", &TObject::ClassInfo};

namespace {
constexpr const char* ComponentStateNames[] = {"csLoading", "csReading", "csWriting",
                                               "csDestroying", "csDesigning", "csFixups"};
}
constinit const TEnumInfo ComponentStateInfo = {"TComponentState", ComponentStateNames,
                                                static_cast<int>(std::size(ComponentStateNames))};

// ---- TPersistent ------------------------------------------------------------

void TPersistent::Assign(const TPersistent* Source) {
  if (Source) {
    Source->AssignTo(this);
    return;
  }
  throw EConvertError("Cannot assign a nil to a " + ClassName());
}

void TPersistent::AssignTo(TPersistent* Dest) const {
  throw EConvertError("Cannot assign a " + ClassName() + " to a " + Dest->ClassName());
}

void TPersistent::DefineProperties(TFiler&) {}

// ---- TComponent -------------------------------------------------------------

namespace {

bool IsIdent(const std::string& S) {
  if (S.empty()) return false;
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!alpha(S[0])) return false;
  return std::all_of(S.begin(), S.end(), [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

void EraseOne(std::vector<TComponent*>& List, TComponent* Item) {
  auto it = std::find(List.begin(), List.end(), Item);
  if (it != List.end()) List.erase(it);
}

}  // namespace

constexpr TPropInfo ComponentProps[] = {
    StringProp<TComponent, &TComponent::GetName, &TComponent::SetName>("Name"),
    WithDefault(IntegerProp<TComponent, &TComponent::GetTag, &TComponent::SetTag>("Tag"), 0),
};
constinit const TClassInfo TComponent::ClassInfo = {"TComponent", &TPersistent::ClassInfo, ComponentProps,
                                                    std::size(ComponentProps), &ConstructComponent<TComponent>};

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  FComponentState.Include(csDestroying);
  // Tell everyone holding a reference; each may remove itself from our list
  // while we walk, so take the entries one at a time from the back.
  while (!FFreeNotifies.empty()) {
    TComponent* other = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    EraseOne(other->FFreeNotifies, this);
    other->Notification(this, opRemove);
  }
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::SetName(const std::string& NewName) {
  if (NewName == FName) return;
  if (!NewName.empty() && !IsIdent(NewName))
    throw EComponentError("'" + NewName + "' is not a valid component name");
  if (!NewName.empty() && FOwner) {
    TComponent* same = FOwner->FindComponent(NewName);
    if (same && same != this)
      throw EComponentError("A component named " + NewName + " already exists");
  }
  FName = NewName;
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (SameText(c->FName, AName)) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner == this) return;
  if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
  if (!AComponent->FName.empty() && FindComponent(AComponent->FName))
    throw EComponentError("A component named " + AComponent->FName + " already exists");
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
  if (FComponentState.Contains(csDesigning)) AComponent->SetDesigning(true);
  NotifyAll(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner != this) return;
  NotifyAll(AComponent, opRemove);
  EraseOne(FComponents, AComponent);
  AComponent->FOwner = nullptr;
}

void TComponent::DestroyComponents() {
  // Each owned component removes itself from FComponents as it goes.
  while (!FComponents.empty()) {
    TComponent* last = FComponents.back();
    FComponents.pop_back();
    last->FOwner = nullptr;
    delete last;
  }
}

void TComponent::SetDesigning(bool Value) {
  SetComponentStateItem(csDesigning, Value);
  for (TComponent* c : FComponents) c->SetDesigning(Value);
}

void TComponent::SetComponentStateItem(TComponentStateItem Item, bool On) {
  if (On) FComponentState.Include(Item);
  else FComponentState.Exclude(Item);
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  // Both sides keep each other in their lists so that whichever goes first
  // tells the other, and no list ever holds a freed component.
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
    FFreeNotifies.push_back(AComponent);
  if (std::find(AComponent->FFreeNotifies.begin(), AComponent->FFreeNotifies.end(), this) ==
      AComponent->FFreeNotifies.end())
    AComponent->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  EraseOne(FFreeNotifies, AComponent);
  EraseOne(AComponent->FFreeNotifies, this);
}

void TComponent::Loaded() { FComponentState.Exclude(csLoading); }

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent) RemoveFreeNotification(AComponent);
  // Pass it on to everything owned, except the subject itself.
  for (std::size_t i = 0; i < FComponents.size(); ++i)
    if (FComponents[i] != AComponent) FComponents[i]->Notification(AComponent, Operation);
}

void TComponent::NotifyAll(TComponent* AComponent, TOperation Operation) {
  Notification(AComponent, Operation);
}

void TComponent::GetChildren(const std::function<void(TComponent*)>& Proc, const TComponent* Root) const {
  if (Root != this) return;
  for (TComponent* c : FComponents) Proc(c);
}

void TComponent::SetParentComponent(TComponent*) {}

// ---- Class registry -------------------------------------------------------

namespace {
std::mutex RegistryLock;
std::vector<const TClassInfo*>& Registry() {
  static std::vector<const TClassInfo*> classes;
  return classes;
}
}  // namespace

void RegisterClass(const TClassInfo* Class) {
  std::lock_guard lock(RegistryLock);
  auto& r = Registry();
  if (std::find(r.begin(), r.end(), Class) == r.end()) r.push_back(Class);
}

void RegisterClasses(std::initializer_list<const TClassInfo*> Classes) {
  for (const TClassInfo* c : Classes) RegisterClass(c);
}

void UnRegisterClass(const TClassInfo* Class) {
  std::lock_guard lock(RegistryLock);
  auto& r = Registry();
  r.erase(std::remove(r.begin(), r.end(), Class), r.end());
}

const TClassInfo* GetClass(const std::string& Name) {
  std::lock_guard lock(RegistryLock);
  for (const TClassInfo* c : Registry())
    if (SameText(c->Name, Name)) return c;
  return nullptr;
}

const TClassInfo* FindClass(const std::string& Name) {
  if (const TClassInfo* c = GetClass(Name)) return c;
  throw EClassNotFound("Class " + Name + " not found");
}

// ---- Named resources ------------------------------------------------------

namespace {
std::mutex ResourceLock;
std::vector<const TResourceModule*>& ResourceModules() {
  static std::vector<const TResourceModule*> modules;
  return modules;
}
}  // namespace

void RegisterResourceModule(const TResourceModule* Module) {
  std::lock_guard lock(ResourceLock);
  auto& m = ResourceModules();
  if (std::find(m.begin(), m.end(), Module) == m.end()) m.push_back(Module);
}

void UnregisterResourceModule(const TResourceModule* Module) {
  std::lock_guard lock(ResourceLock);
  auto& m = ResourceModules();
  m.erase(std::remove(m.begin(), m.end(), Module), m.end());
}

const TResourceEntry* FindResource(const std::string& Name, const std::string& Type) {
  std::lock_guard lock(ResourceLock);
  auto& m = ResourceModules();
  for (auto mod = m.rbegin(); mod != m.rend(); ++mod)
    for (std::size_t i = 0; i < (*mod)->Count; ++i) {
      const TResourceEntry& e = (*mod)->Entries[i];
      if (SameText(e.Name, Name) && SameText(e.Type, Type)) return &e;
    }
  return nullptr;
}

}  // namespace vcl

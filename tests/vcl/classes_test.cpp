// Components: ownership, names, notifications, free notifications.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <vcl/Classes.h>

using namespace vcl;

namespace {

// Records every notification it receives.
class TWatcher : public TComponent {
public:
  using TComponent::TComponent;
  struct Event {
    TComponent* Subject;
    TOperation Op;
  };
  std::vector<Event> Events;
  TComponent* Held = nullptr;  // a reference cleared on opRemove, as components do
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    Events.push_back({AComponent, Operation});
    if (Operation == opRemove && AComponent == Held) Held = nullptr;
  }
};

TEST(ComponentTest, OwnerFreesWhatItOwnsAndChildrenLeaveTheirOwner) {
  auto* owner = new TComponent(nullptr);
  auto* a = new TWatcher(owner);
  auto* b = new TWatcher(owner);
  ASSERT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(owner->Components(0), a);
  EXPECT_EQ(a->GetOwner(), owner);

  delete a;
  ASSERT_EQ(owner->ComponentCount(), 1);
  EXPECT_EQ(owner->Components(0), b);
  // b saw its sibling's removal through the owner.
  ASSERT_FALSE(b->Events.empty());
  EXPECT_EQ(b->Events.back().Op, opRemove);
  delete owner;  // frees b; ASan reports a leak or double free otherwise
}

TEST(ComponentTest, InsertionReachesOwnerAndSiblings) {
  TWatcher owner(nullptr);
  auto* first = new TWatcher(&owner);
  auto* second = new TComponent(&owner);
  ASSERT_EQ(owner.Events.size(), 2u);
  EXPECT_EQ(owner.Events[1].Subject, second);
  EXPECT_EQ(owner.Events[1].Op, opInsert);
  ASSERT_EQ(first->Events.size(), 1u);
  EXPECT_EQ(first->Events[0].Subject, second);
}

TEST(ComponentTest, FreeNotificationReachesAComponentOfAnotherOwner) {
  TComponent formA(nullptr), formB(nullptr);
  auto* holder = new TWatcher(&formA);
  auto* target = new TComponent(&formB);
  holder->Held = target;
  target->FreeNotification(holder);
  delete target;
  EXPECT_EQ(holder->Held, nullptr);

  // The other way round: the holder goes first; the target must not keep a
  // dangling entry (ASan catches a use after free when it is freed).
  auto* target2 = new TComponent(&formB);
  target2->FreeNotification(holder);
  delete holder;
  delete target2;
}

TEST(ComponentTest, NamesAreIdentifiersUniqueWithinTheOwner) {
  TComponent owner(nullptr);
  auto* a = new TComponent(&owner);
  auto* b = new TComponent(&owner);
  a->SetName("Barcode1");
  EXPECT_THROW(b->SetName("barcode1"), EComponentError);  // names compare without case
  for (const char* bad : {"1abc", "a b", "a-b", "ä"}) EXPECT_THROW(b->SetName(bad), EComponentError) << bad;
  b->SetName("Barcode2");
  b->SetName("");
  EXPECT_EQ(owner.FindComponent("BARCODE1"), a);
  EXPECT_EQ(owner.FindComponent(""), nullptr);
}

TEST(ComponentTest, DesigningStateReachesOwnedComponents) {
  TComponent form(nullptr);
  auto* a = new TComponent(&form);
  form.SetDesigning(true);
  EXPECT_TRUE(a->ComponentState().Contains(csDesigning));
  auto* later = new TComponent(&form);
  EXPECT_TRUE(later->ComponentState().Contains(csDesigning));
}

TEST(ComponentTest, CheckedCastRaisesOnTheWrongClass) {
  TComponent c(nullptr);
  TObject* o = &c;
  EXPECT_EQ(As<TComponent>(o), &c);
  EXPECT_EQ(As<TPersistent>(o), &c);
  TPersistent p;
  EXPECT_THROW(As<TComponent>(static_cast<TObject*>(&p)), EInvalidCast);
  EXPECT_THROW(c.Assign(&p), EConvertError);  // neither side knows how to copy
}

TEST(ResourceTest, NamedResourcesAreFoundNewestModuleFirst) {
  static const unsigned char one[] = {1}, two[] = {2};
  static const TResourceEntry oldEntries[] = {{"TFORM1", "FORM", one, 1}, {"GLYPH", "BITMAP", one, 1}};
  static const TResourceEntry newEntries[] = {{"TForm1", "form", two, 1}};
  static const TResourceModule oldModule{"old", oldEntries, 2}, newModule{"new", newEntries, 1};
  RegisterResourceModule(&oldModule);
  RegisterResourceModule(&newModule);
  ASSERT_NE(FindResource("tform1", "FORM"), nullptr);
  EXPECT_EQ(FindResource("tform1", "FORM")->Data, two);
  EXPECT_EQ(FindResource("Glyph", "Bitmap")->Data, one);
  EXPECT_EQ(FindResource("GLYPH", "FORM"), nullptr);
  UnregisterResourceModule(&newModule);
  EXPECT_EQ(FindResource("TFORM1", "FORM")->Data, one);
  UnregisterResourceModule(&oldModule);
  EXPECT_EQ(FindResource("TFORM1", "FORM"), nullptr);
}

TEST(SysUtilsTest, StrToIntAcceptsDecimalAndHexAndRejectsTheRest) {
  struct Row {
    const char* Text;
    bool Ok;
    std::int32_t Value;
  } rows[] = {
      {"42", true, 42},           {"-7", true, -7},         {" 12 ", true, 12},
      {"$FF", true, 255},         {"$FFFFFFFF", true, -1},  {"2147483647", true, INT32_MAX},
      {"-2147483648", true, INT32_MIN},
      {"2147483648", false, 0},   {"", false, 0},           {"12a", false, 0},
      {"$", false, 0},            {"--1", false, 0},        {"1 2", false, 0},
  };
  for (const Row& r : rows) {
    if (r.Ok) EXPECT_EQ(StrToInt(r.Text), r.Value) << r.Text;
    else EXPECT_THROW(StrToInt(r.Text), EConvertError) << r.Text;
  }
}

TEST(SysUtilsTest, FileNameParts) {
  EXPECT_EQ(ExtractFileExt("out/x.PNG"), ".PNG");
  EXPECT_EQ(ExtractFileExt("dir.d/name"), "");
  EXPECT_EQ(ExtractFileName("/a/b/c.dbf"), "c.dbf");
  EXPECT_EQ(ExtractFilePath("/a/b/c.dbf"), "/a/b/");
  EXPECT_EQ(ChangeFileExt("a.b/c.txt", ".dbf"), "a.b/c.dbf");
  EXPECT_EQ(ChangeFileExt("a.b/c", ".dbf"), "a.b/c.dbf");
}

}  // namespace

// The bitmap barcode component.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Barcode.h"
#include "Tolvane.h"

using namespace tolvane;
using namespace vcl;

namespace {

// Counts redraws: with an empty text a redraw sets the canvas brush colour
// exactly once (to fill the background) and the engine draws nothing.
struct RedrawCounter {
  explicit RedrawCounter(TBarcodeBmp& Bc) : Brush(*Bc.GetBitmap()->GetCanvas()->GetBrush()) {
    Brush.OnChange = [this](TObject*) { ++Count; };
  }
  ~RedrawCounter() { Brush.OnChange = nullptr; }
  TBrush& Brush;
  int Count = 0;
};

bool AllPixels(const TBitmap& B, TColor C) {
  for (int y = 0; y < B.GetHeight(); ++y)
    for (int x = 0; x < B.GetWidth(); ++x)
      if (B.ScanLine(y)[x] != static_cast<std::uint32_t>(C)) return false;
  return true;
}

TEST(BarcodeBmpTest, NewComponentHasItsStartingState) {
  TBarcodeBmp bc(nullptr);
  EXPECT_EQ(bc.GetBarcodeText(), "");
  EXPECT_EQ(bc.GetBarcodeType(), bcCode128);
  EXPECT_EQ(bc.GetScale(), 1);
  EXPECT_TRUE(bc.GetInterpret());
  EXPECT_EQ(bc.GetColor(), clWhite);
  EXPECT_EQ(bc.GetBitmap()->GetWidth(), 20);
  EXPECT_EQ(bc.GetHeight(), 50);
  EXPECT_EQ(bc.GetBitmap()->GetCanvas()->GetBrush()->GetStyle(), bsSolid);
}

TEST(BarcodeBmpTest, EverySetterRedrawsEvenWithTheSameValue) {
  TBarcodeBmp bc(nullptr);
  struct Row {
    const char* Setter;
    std::function<void()> Set;
    int Redraws;  // the type setter refilters through the text setter, then redraws again
  } rows[] = {
      {"Height", [&] { bc.SetHeight(bc.GetHeight()); }, 1},
      {"BarcodeText", [&] { bc.SetBarcodeText(""); }, 1},
      {"BarcodeType", [&] { bc.SetBarcodeType(bc.GetBarcodeType()); }, 2},
      {"Scale", [&] { bc.SetScale(bc.GetScale()); }, 1},
      {"Interpret", [&] { bc.SetInterpret(bc.GetInterpret()); }, 1},
      {"Color", [&] { bc.SetColor(bc.GetColor()); }, 1},
  };
  for (const Row& r : rows) {
    bc.GetBitmap()->GetCanvas()->SetPixel(0, 0, clRed);
    RedrawCounter counter(bc);
    r.Set();
    EXPECT_EQ(counter.Count, r.Redraws) << r.Setter;
    EXPECT_EQ(bc.GetBitmap()->ScanLine(0)[0], static_cast<std::uint32_t>(clWhite)) << r.Setter;
  }
}

TEST(BarcodeBmpTest, EmptyTextGivesTheQuietZonesFilledWithTheColour) {
  TBarcodeBmp bc(nullptr);
  bc.SetScale(3);
  bc.SetColor(clYellow);
  bc.SetBarcodeText("");
  EXPECT_EQ(bc.GetBitmap()->GetWidth(), 60);
  EXPECT_TRUE(AllPixels(*bc.GetBitmap(), clYellow));
}

TEST(BarcodeBmpTest, TextIsKeptAsFilteredAndATypeSwitchDoesNotBringCharactersBack) {
  TBarcodeBmp bc(nullptr);
  bc.SetBarcodeType(bcCode39);
  bc.SetBarcodeText("abc-12$");
  EXPECT_EQ(bc.GetBarcodeText(), "ABC-12");
  bc.SetBarcodeType(bcUPCA);  // digits only
  EXPECT_EQ(bc.GetBarcodeText(), "12");
  bc.SetBarcodeType(bcCode39);
  EXPECT_EQ(bc.GetBarcodeText(), "12");
}

TEST(BarcodeBmpTest, WidthFollowsTextTypeAndScaleAndHeightOnlyTheHeight) {
  TBarcodeBmp bc(nullptr);
  bc.SetBarcodeType(bcCode39);
  bc.SetBarcodeText("AB");
  bc.SetScale(2);
  EXPECT_EQ(bc.GetBitmap()->GetWidth(), CalcWidth(2, bcCode39, "AB"));
  EXPECT_EQ(bc.GetBitmap()->GetWidth(), 144);
  bc.SetHeight(80);
  EXPECT_EQ(bc.GetBitmap()->GetWidth(), 144);
  EXPECT_EQ(bc.GetBitmap()->GetHeight(), 80);
}

TEST(BarcodeBmpTest, ColourFillsTheBackgroundAndTheTextCells) {
  TBarcodeBmp bc(nullptr);
  bc.SetBarcodeType(bcCode39);
  bc.SetColor(RGB(0, 200, 0));
  bc.SetBarcodeText("A");
  const TBitmap& b = *bc.GetBitmap();
  // The quiet zone is never painted, so it shows the fill.
  EXPECT_EQ(b.ScanLine(10)[0], static_cast<std::uint32_t>(RGB(0, 200, 0)));
  EXPECT_EQ(b.ScanLine(0)[b.GetWidth() - 1], static_cast<std::uint32_t>(RGB(0, 200, 0)));
  // The bottom row is inside the text band: no black bars reach it, and the
  // text cell's background is the colour too.
  int green = 0;
  for (int x = 0; x < b.GetWidth(); ++x) green += b.ScanLine(b.GetHeight() - 1)[x] == static_cast<std::uint32_t>(RGB(0, 200, 0));
  EXPECT_GT(green, b.GetWidth() * 3 / 4);
  // Module 1 of the start character is dark on the top row.
  EXPECT_EQ(b.ScanLine(0)[11], static_cast<std::uint32_t>(clBlack));
}

TEST(BarcodeBmpTest, StoredComponentRoundTripsAndRedrawsOnLoading) {
  RegisterComponentClasses();
  TComponent form(nullptr);
  form.SetName("Form1");
  auto* bc = new TBarcodeBmp(&form);
  bc->SetName("BarcodeBmp1");
  bc->SetBarcodeType(bcCode39);
  bc->SetBarcodeText("TOLVANE");
  bc->SetScale(2);
  bc->SetHeight(70);
  bc->SetInterpret(false);
  bc->SetColor(clAqua);

  const std::string text = WriteComponentText(form);
  // No property declares a default, so all six writable ones are stored, in
  // published order; the bitmap is drawn from them and not stored.
  EXPECT_EQ(text,
            "object Form1: TComponent\n"
            "  object BarcodeBmp1: TBarcodeBmp\n"
            "    Height = 70\n"
            "    BarcodeText = 'TOLVANE'\n"
            "    BarcodeType = bcCode39\n"
            "    Scale = 2\n"
            "    Interpret = False\n"
            "    Color = clAqua\n"
            "  end\n"
            "end\n");

  RegisterClass(&TComponent::ClassInfo);
  std::unique_ptr<TComponent> copy(ReadComponentText(text, nullptr));
  UnRegisterClass(&TComponent::ClassInfo);
  auto* loaded = As<TBarcodeBmp>(copy->FindComponent("BarcodeBmp1"));
  ASSERT_NE(loaded, nullptr);
  const TBitmap& a = *bc->GetBitmap();
  const TBitmap& b = *loaded->GetBitmap();
  ASSERT_EQ(b.GetWidth(), a.GetWidth());
  ASSERT_EQ(b.GetHeight(), a.GetHeight());
  for (int y = 0; y < a.GetHeight(); ++y)
    ASSERT_TRUE(std::equal(a.ScanLine(y), a.ScanLine(y) + a.GetWidth(), b.ScanLine(y))) << "row " << y;
}

}  // namespace

namespace {

TEST(BarcodeBmpTest, LoadingKeepsCharactersThatOnlyTheStoredTypeCarries) {
  RegisterComponentClasses();
  TBarcodeBmp bc(nullptr);
  bc.SetBarcodeType(bcCode93);
  bc.SetBarcodeText("a\tb");  // the default type would drop the tab
  std::unique_ptr<TComponent> copy(ReadComponentText(WriteComponentText(bc), nullptr));
  EXPECT_EQ(As<TBarcodeBmp>(copy.get())->GetBarcodeText(), "a\tb");
}

}  // namespace

extern const vcl::TResourceModule TestResources;

namespace {

TEST(BarcodeBmpTest, FormEmbeddedAsAResourceLoads) {
  RegisterComponentClasses();
  RegisterClass(&TComponent::ClassInfo);
  RegisterResourceModule(&TestResources);
  const TResourceEntry* res = FindResource("TestForm", "FORM");
  ASSERT_NE(res, nullptr);
  std::unique_ptr<TComponent> form(
      ReadComponentText(std::string(reinterpret_cast<const char*>(res->Data), res->Size), nullptr));
  UnregisterResourceModule(&TestResources);
  UnRegisterClass(&TComponent::ClassInfo);
  EXPECT_EQ(form->GetTag(), 7);
  auto* bc = As<TBarcodeBmp>(form->FindComponent("BarcodeBmp1"));
  EXPECT_EQ(bc->GetBitmap()->GetWidth(), CalcWidth(1, bcCode39, "RES"));
}

}  // namespace

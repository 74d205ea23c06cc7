// The driver list from the catalogue, and a chosen name back to its model.
#include <gtest/gtest.h>

#include "app/InstallDlg.h"
#include "test_support.h"

using testing_support::WithReadyDialog;

namespace {

using Names = std::vector<std::string>;

struct Catalogue {
  Names items;
  std::string printerName;
  int selection = -2;
};

nlohmann::json WithCatalogue(const std::string& text) {
  nlohmann::json profile;
  profile["files"] = {{"C:\\DriverName.cfg", {{"content", text}}}};
  return profile;
}

Catalogue Load(const nlohmann::json& profile) {
  Catalogue catalogue;
  WithReadyDialog(profile, [&](CInstallDlg& dialog, fw::headless::Ui& ui) {
    for (const std::string& item : ui.Control(IDC_DRIVER_COMBO)->items) catalogue.items.push_back(item);
    catalogue.printerName = ui.Control(IDC_PRINTER_NAME)->text;
    catalogue.selection = dialog.m_cboDriver.GetCurSel();
  });
  return catalogue;
}

// The model index of each combo item, as Install would find it.
std::vector<int> IndexesOfEveryItem(const std::string& text) {
  std::vector<int> indexes;
  WithReadyDialog(WithCatalogue(text), [&](CInstallDlg& dialog, fw::headless::Ui&) {
    for (int item = 0; item < dialog.m_cboDriver.GetCount(); ++item) {
      dialog.m_cboDriver.SetCurSel(item);
      dialog.FindDriverIndex();
      indexes.push_back(dialog.m_nDriverIndex);
    }
  });
  return indexes;
}

TEST(Catalogue, ListsEveryNameInFileOrderAndStartsWithTheFirst) {
  const Catalogue catalogue =
      Load(WithCatalogue("[A]\nPrintName1=a1\nPrintName2 = a2 \n[Empty]\nOther=x\n[b]\nprintname1=b1\n; a "
                         "comment\nPrintName2=\"b 2\"\n"));
  EXPECT_EQ(catalogue.items, (Names{"a1", "a2", "b1", "b 2"}));
  EXPECT_EQ(catalogue.selection, 0);
  EXPECT_EQ(catalogue.printerName, "a1");
}

TEST(Catalogue, ANameMapsToItsSectionsOrdinalNotItsPositionInTheList) {
  // A section without names still counts: b1 is model 2.
  EXPECT_EQ(IndexesOfEveryItem("[A]\nPrintName1=a1\nPrintName2=a2\n[Empty]\n[B]\nPrintName1=b1\n"),
            (std::vector<int>{0, 0, 2}));
  // A name listed twice means the later section.
  EXPECT_EQ(IndexesOfEveryItem("[A]\nPrintName1=same\n[B]\nPrintName1=other\n[C]\nPrintName1=same\n"),
            (std::vector<int>{2, 1, 2}));
}

TEST(Catalogue, AGapEndsASectionsNamesAndFiftyIsTheMost) {
  EXPECT_EQ(Load(WithCatalogue("[A]\nPrintName1=one\nPrintName2=two\nPrintName4=four\nPrintName3=\n")).items,
            (Names{"one", "two"}));
  std::string sixty = "[Many]\n";
  for (int i = 1; i <= 60; ++i) sixty += "PrintName" + std::to_string(i) + "=n" + std::to_string(i) + "\n";
  const Names many = Load(WithCatalogue(sixty)).items;
  ASSERT_EQ(many.size(), 50u);
  EXPECT_EQ(many.back(), "n50");
}

TEST(Catalogue, NamesAreCutAt127CharactersAndSectionsPastTheListBufferAreNotSeen) {
  const std::string longName(200, 'x');
  EXPECT_EQ(Load(WithCatalogue("[A]\nPrintName1=" + longName + "\n")).items, Names{std::string(127, 'x')});

  // 40 sections of 80-character names overflow the 3000-byte list: the
  // 38th is cut and only the first 37 are walked whole.
  std::string text;
  for (int i = 0; i < 40; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "%02d", i);
    text += "[" + std::string(78, 's') + name + "]\nPrintName1=m" + name + "\n";
  }
  const Names items = Load(WithCatalogue(text)).items;
  ASSERT_EQ(items.size(), 37u);
  EXPECT_EQ(items.back(), "m36");
}

TEST(Catalogue, NoCatalogueLeavesTheListAndThePrinterNameEmpty) {
  const Catalogue catalogue = Load(nlohmann::json::object());
  EXPECT_TRUE(catalogue.items.empty());
  EXPECT_EQ(catalogue.printerName, "");
  EXPECT_EQ(catalogue.selection, -1);
  // Install then finds no model at all.
  EXPECT_EQ(IndexesOfEveryItem(""), std::vector<int>{});
}

}  // namespace

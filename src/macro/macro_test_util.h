#pragma once
// A workbook with a worksheet and a macro sheet, the engine, every function
// and the macro interpreter installed, for the macro layer's tests.

#include "edit/names.h"
#include "functions/families.h"
#include "formula/macro_seam.h"
#include "functions/function_test_util.h"
#include "macro/interpreter.h"

#include <initializer_list>

namespace macro::testing {

class MacroTest : public functions::testing::FunctionTest {
protected:
  MacroTest() : FunctionTest(functions::registerAllFunctions) {
    installMacroInterpreter();
    EXPECT_TRUE(model::insert_sheet(*book, book->sheetCount(), u"Macro1", model::SheetKind::Macro, false));
    macroSheet = book->sheetCount() - 1;
    model::activate_sheet(*book, 0);
  }

  /// Writes formulas into the macro sheet's column from a row (0-based).
  void write(std::string_view a1, std::initializer_list<std::u16string_view> lines) {
    auto [r, c] = at(a1);
    for (std::u16string_view line : lines) {
      if (!line.empty()) {
        ASSERT_TRUE(model::set_cell(*book, macroSheet, static_cast<std::uint16_t>(r),
                                    static_cast<std::uint8_t>(c), line, 15, false, true));
      }
      ++r;
    }
  }

  /// Defines a name for a macro sheet cell.
  void define(std::u16string_view name, std::u16string_view where) {
    ASSERT_TRUE(edit::storeName(*book, 0, name, std::u16string(u"=Macro1!") + std::u16string(where), 0));
  }

  /// Runs a named macro as a command; its result.
  CellValue run(std::u16string_view name) {
    CellValue v;
    EXPECT_TRUE(runNamedMacro(*book, name, model::MacroCaller{}, &v));
    return v;
  }

  /// The value of a macro sheet cell.
  CellValue macroCell(std::string_view a1) {
    const auto [r, c] = at(a1);
    const model::CellRecord* cell = book->sheet(macroSheet).cells.at(static_cast<std::uint16_t>(r),
                                                                    static_cast<std::uint8_t>(c));
    return cell ? cell->value : CellValue();
  }

  /// The value of a worksheet cell.
  CellValue sheetCell(std::string_view a1) {
    const auto [r, c] = at(a1);
    model::CellRecord* cell = book->sheet(0).cells.at(static_cast<std::uint16_t>(r),
                                                     static_cast<std::uint8_t>(c));
    if (cell)
      formula::computeCell(*book, 0, *cell);
    return cell ? cell->value : CellValue();
  }

  static std::string text(const CellValue& v) { return show(v); }

  ~MacroTest() override {
    formula::macroSeam() = {};
    cancelHook() = nullptr;
  }

  int macroSheet = 0;
};

} // namespace macro::testing

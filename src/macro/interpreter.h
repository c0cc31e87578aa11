#pragma once
// Running macro sheets: a macro starts at a cell and runs the formulas below
// it in the same column; control functions answer with jump requests that
// the run loop follows. Frames keep each call's arguments, position, loop
// counters and result; the stack is bounded, and a long run polls a cancel
// hook so the user can stop it.

#include "model/cell_value.h"
#include "model/services.h"
#include "model/workbook.h"

#include <functional>
#include <optional>
#include <string>
#include <span>
#include <string_view>

namespace macro {

using model::CellValue;

/// Deepest nesting of macro calls; a call beyond it gives #VALUE!.
inline constexpr int kMaxFrames = 256;
/// Steps between two polls of the cancel hook.
inline constexpr int kStepsPerPoll = 1000;

inline constexpr std::u16string_view kMessageStopMacro = u"是否停止运行宏？";
inline constexpr std::u16string_view kMessageRunAutoMacro = u"此工作簿包含自动运行的宏“%s”。是否运行？";

/// How a macro is started. Command functions act only in frames started as
/// commands (Auto_Open, a shortcut key, a control, the command line); a
/// macro called from a formula computes without changing the workbook.
struct RunRequest {
  int sheet = 0;
  std::uint16_t row = 0;
  std::uint8_t column = 0;
  bool asCommand = false;
  model::MacroCaller caller;
  bool callerInArray = false;
};

/// Runs the macro that starts at the request's cell with these arguments
/// (raw values, at most 29) and returns its result: RETURN's value, #N/A
/// when it ends without one, #VALUE! past kMaxFrames.
CellValue runMacroAt(model::Workbook& book, const RunRequest& request,
                     std::span<const CellValue> arguments = {});

/// The macro cell a defined name points at: a single cell of a macro sheet
/// of the same workbook. False when the name is no macro.
bool macroStart(model::Workbook& book, const model::DefinedName& name, int& sheet,
                std::uint16_t& row, std::uint8_t& column);

/// Runs the macro named `name` (case-insensitive) as a command. False when
/// no such macro exists; `result` receives its value.
bool runNamedMacro(model::Workbook& book, std::u16string_view name,
                   const model::MacroCaller& caller, CellValue* result = nullptr);

/// Polled every kStepsPerPoll steps: true when the user asked to stop (Esc).
/// The user is then asked kMessageStopMacro; Yes ends every frame with #N/A.
std::function<bool()>& cancelHook();

/// Asks the user for text (INPUT): the prompt, the box's title and the
/// proposed text; no value when the user cancelled or nobody can answer.
using InputHook = std::function<std::optional<std::u16string>(
    std::u16string_view prompt, std::u16string_view title, std::u16string_view proposed)>;
InputHook& inputHook();

/// Sounds the bell (BEEP); nothing when unset.
std::function<void()>& beepHook();

/// Shows the data form over the workbook's active list (DATA.FORM); false
/// when it cannot be shown, and always when unset (no desktop).
std::function<bool(model::Workbook& book)>& dataFormHook();

/// Asks whether a workbook's automatic macro may run (the question text is
/// given); by default a Yes/No message box. The desktop puts No first.
std::function<bool(std::u16string_view question)>& confirmHook();

/// The runner the model calls for Auto_Open, Auto_Close, shortcut keys,
/// controls and activation macros. A workbook's Auto_Open and Auto_Close
/// run only after the user agreed, asked once per workbook file while the
/// program runs (the answer stands for both).
void runMacroService(model::Workbook& book, std::u16string_view name,
                     const model::MacroCaller& caller);

/// Forgets the answers given (tests).
void forgetAutoMacroAnswers();

/// True while a macro runs (any frame on the stack).
bool macroRunning();

/// Installs the control functions, the command functions, the reader's
/// seam for custom functions and the model's macro runner.
void installMacroInterpreter();

} // namespace macro

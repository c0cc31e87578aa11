// The function table: 720 built-in entries and 112 add-in entries, each
// array sorted by name in UTF-16 code units, and the nine constants the
// formula reader knows.
//
// Where the rows come from:
// - computing entries (396, `computes` true): name, argument types, function
//   number, category and suggested format as this program defines them; "R + 29×r" is written out as the letters themselves;
// - recognised-only entries (436, `computes` false): function number,
//   category and argument types from the published file format documentation
//   (three rows corrected, marked at the end of the row);
// - token form: shared/data/function_token_forms.tsv (Fixed: the binary file
//   stores a call with a fixed-count token; Variable: with a variable-count
//   token; AddIn: as an add-in call through the name token);
// - template: the argument list of the insert-function dialog; required
//   arguments plain, optional ones in square brackets, a repeating optional
//   tail as "[name2, ...]". Recognised-only commands whose argument names are
//   not settled carry a generic "[arg1], ..." list of the right shape.
//
// Column order of a row: name, argument types, packed word (file function
// number, category, suggested number format; add-ins: the category alone),
// token form, computes, template.

#include "formula/function_table.h"

#include <algorithm>
#include <array>
#include <functional>
#include <iterator>
#include <string_view>

namespace formula {
namespace {

using enum FunctionCategory;
using enum TokenForm;

/// The packed word of an add-in entry: the category in the low 16 bits.
constexpr std::uint32_t addIn(FunctionCategory category) {
  return static_cast<std::uint32_t>(category);
}
/// The packed word of a later version's function: as an add-in's.
constexpr std::uint32_t later(FunctionCategory category) { return addIn(category); }

// clang-format off
constexpr FunctionEntry kBuiltinFunctions[] = {
//   name                        argument types                    packFunction(number, category, format)  form       computes template
    {u"A1.R1C1",                 "b",                              packFunction(32798, MacroCommand,   0), Variable,  false,  u"[logical]"},
    {u"ABS",                     "N",                              packFunction(   24, MathTrig,       0), Fixed,     true,   u"number"},
    {u"ABSREF",                  "BB",                             packFunction(   79, MacroCommand,   0), Fixed,     false,  u"ref_text, reference"},
    {u"ACOS",                    "N",                              packFunction(   99, MathTrig,       0), Fixed,     true,   u"number"},
    {u"ACOSH",                   "N",                              packFunction(  233, MathTrig,       0), Fixed,     true,   u"number"},
    {u"ACTIVATE",                "sn",                             packFunction(32871, MacroCommand,   0), Variable,  true,   u"[window_text], [pane_num]"},
    {u"ACTIVATE.NEXT",           "b",                              packFunction(32872, MacroCommand,   0), Variable,  false,  u"[workbook_text]"},
    {u"ACTIVATE.PREV",           "b",                              packFunction(32873, MacroCommand,   0), Variable,  false,  u"[workbook_text]"},
    {u"ACTIVE.CELL",             "",                               packFunction(   94, MacroCommand,   0), Fixed,     true,   u""},
    {u"ACTIVE.CELL.FONT",        "bbbbbbbbbbbbbb",                 packFunction(33244, MacroCommand,   0), Variable,  false,  u"[font], [font_style], [size], [strikethrough], [superscript], [subscript], [outline], [shadow], [underline], [color], [normal], [background], [start_char], [char_count]"},
    {u"ADD.ARROW",               "",                               packFunction(32849, MacroCommand,   0), Variable,  false,  u""},
    {u"ADD.BAR",                 "b",                              packFunction(  151, MacroCommand,   0), Variable,  false,  u"[bar_num]"},
    {u"ADD.CHART.AUTOFORMAT",    "bb",                             packFunction(33158, MacroCommand,   0), Variable,  false,  u"[name_text], [desc_text]"},
    {u"ADD.COMMAND",             "BBBbb",                          packFunction(  153, MacroCommand,   0), Variable,  false,  u"bar_num, menu, command_ref, [position1], [position2]"},
    {u"ADD.LIST.ITEM",           "bb",                             packFunction(33219, MacroCommand,   0), Variable,  false,  u"[text], [index_num]"},
    {u"ADD.MENU",                "BBbb",                           packFunction(  152, MacroCommand,   0), Variable,  false,  u"bar_num, menu_ref, [position1], [position2]"},
    {u"ADD.OVERLAY",             "",                               packFunction(32843, MacroCommand,   0), Variable,  false,  u""},
    {u"ADD.TOOL",                "bbb",                            packFunction(33045, MacroCommand,   0), Variable,  false,  u"[bar_id], [position], [tool_ref]"},
    {u"ADD.TOOLBAR",             "bb",                             packFunction(  253, MacroCommand,   0), Variable,  false,  u"[bar_name], [tool_ref]"},
    {u"ADDIN.MANAGER",           "bbb",                            packFunction(33089, MacroCommand,   0), Variable,  false,  u"[type_num], [name_text], [copy_logical]"},
    {u"ADDRESS",                 "NNnls",                          packFunction(  219, Lookup,         0), Variable,  true,   u"row_num, column_num, [abs_num], [a1], [sheet_text]"},
    {u"ALERT",                   "Sns",                            packFunction(32886, MacroCommand,   0), Variable,  true,   u"message_text, [type_num], [help_ref]"},
    {u"ALIGNMENT",               "bbbbbbbbbb",                     packFunction(32811, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"AND",                     "Pppppppppppppppppppppppppppppp", packFunction(   36, Logical,        0), Variable,  true,   u"logical1, [logical2, ...]"},
    {u"APP.ACTIVATE",            "bb",                             packFunction(32893, MacroCommand,   0), Variable,  false,  u"[title_text], [wait_logical]"},
    {u"APP.ACTIVATE.MICROSOFT",  "b",                              packFunction(33237, MacroCommand,   0), Variable,  false,  u"[app_id_num]"},
    {u"APP.MAXIMIZE",            "",                               packFunction(32941, MacroCommand,   0), Variable,  false,  u""},
    {u"APP.MINIMIZE",            "",                               packFunction(32940, MacroCommand,   0), Variable,  false,  u""},
    {u"APP.MOVE",                "bb",                             packFunction(32938, MacroCommand,   0), Variable,  false,  u"[x_num], [y_num]"},
    {u"APP.RESTORE",             "",                               packFunction(32937, MacroCommand,   0), Variable,  false,  u""},
    {u"APP.SIZE",                "bb",                             packFunction(32939, MacroCommand,   0), Variable,  false,  u"[x_num], [y_num]"},
    {u"APP.TITLE",               "b",                              packFunction(  262, MacroCommand,   0), Variable,  false,  u"[text]"},
    {u"APPLY.NAMES",             "bbbbbbb",                        packFunction(32901, MacroCommand,   0), Variable,  false,  u"[name_array], [ignore], [use_rowcol], [omit_col], [omit_row], [order_num], [append_last]"},
    {u"APPLY.STYLE",             "b",                              packFunction(32980, MacroCommand,   0), Variable,  false,  u"[style_text]"},
    {u"AREAS",                   "C",                              packFunction(   75, Lookup,         0), Fixed,     true,   u"reference"},
    {u"ARGUMENT",                "snc",                            packFunction(   81, MacroControl,   0), Variable,  true,   u"[name_text], [data_type_num], [reference]"},
    {u"ARRANGE.ALL",             "bbbb",                           packFunction(32780, MacroCommand,   0), Variable,  false,  u"[arrange_num], [active_doc], [sync_horiz], [sync_vert]"},
    {u"ASC",                     "A",                              packFunction(  214, Hidden,         0), Fixed,     true,   u"text"},
    {u"ASIN",                    "N",                              packFunction(   98, MathTrig,       0), Fixed,     true,   u"number"},
    {u"ASINH",                   "N",                              packFunction(  232, MathTrig,       0), Fixed,     true,   u"number"},
    {u"ASSIGN.TO.OBJECT",        "b",                              packFunction(32981, MacroCommand,   0), Variable,  false,  u"[macro_ref]"},
    {u"ASSIGN.TO.TOOL",          "bbb",                            packFunction(33061, MacroCommand,   0), Variable,  false,  u"[bar_id], [position], [macro_ref]"},
    {u"ATAN",                    "N",                              packFunction(   18, MathTrig,       0), Fixed,     true,   u"number"},
    {u"ATAN2",                   "NN",                             packFunction(   97, MathTrig,       0), Fixed,     true,   u"x_num, y_num"},
    {u"ATANH",                   "N",                              packFunction(  234, MathTrig,       0), Fixed,     true,   u"number"},
    {u"ATTACH.TEXT",             "bbb",                            packFunction(32848, MacroCommand,   0), Variable,  false,  u"[attach_to_num], [series_num], [point_num]"},
    {u"ATTACH.TOOLBARS?",        "",                               packFunction(33091, MacroCommand,   0), Variable,  false,  u""},
    {u"AUTO.OUTLINE",            "",                               packFunction(33161, MacroCommand,   0), Variable,  false,  u""},
    {u"AVEDEV",                  "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(  269, Statistical,    0), Variable,  true,   u"number1, [number2, ...]"},
    {u"AVERAGE",                 "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(    5, Statistical,    0), Variable,  true,   u"number1, [number2, ...]"},
    {u"AVERAGEA",                "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(  361, Statistical,    0), Variable,  true,   u"value1, [value2, ...]"},
    {u"AXES",                    "bbbbbb",                         packFunction(32846, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"BEEP",                    "n",                              packFunction(32768, MacroCommand,   0), Variable,  true,   u"[tone_num]"},
    {u"BETADIST",                "NNNnn",                          packFunction(  270, Statistical,    0), Variable,  true,   u"x, alpha, beta, [a], [b]"},
    {u"BETAINV",                 "NNNnn",                          packFunction(  272, Statistical,    0), Variable,  true,   u"probability, alpha, beta, [a], [b]"},
    {u"BINOMDIST",               "NNNL",                           packFunction(  273, Statistical,    0), Fixed,     true,   u"number_s, trials, probability_s, cumulative"},
    {u"BORDER",                  "bbbbbbbbbbbbbbbbbbbbbbbbbbb",    packFunction(32813, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"BREAK",                   "",                               packFunction(  173, MacroControl,   0), Fixed,     true,   u""},
    {u"BRING.TO.FRONT",          "",                               packFunction(32942, MacroCommand,   0), Variable,  false,  u""},
    {u"CALCULATE.DOCUMENT",      "",                               packFunction(32935, MacroCommand,   0), Variable,  true,   u""},
    {u"CALCULATE.NOW",           "",                               packFunction(32799, MacroCommand,   0), Variable,  true,   u""},
    {u"CALCULATION",             "bbbbbbbbbbb",                    packFunction(32800, MacroCommand,   0), Variable,  false,  u"[type_num], [iter], [max_num], [max_change], [update], [precision], [date_1904], [calc_save], [save_values], [alt_exp], [alt_form]"},
    {u"CALL",                    "SSsaaaaaaaaaaaaaaaaaaaaaaaaaaa", packFunction(  150, All,            0), Variable,  true,   u"module_text, procedure, [type_text], [argument1, ...]"},
    {u"CALLER",                  "",                               packFunction(   89, MacroCommand,   0), Fixed,     true,   u""},
    {u"CANCEL.COPY",             "b",                              packFunction(32888, MacroCommand,   0), Variable,  false,  u"[render_logical]"},
    {u"CANCEL.KEY",              "bb",                             packFunction(  170, MacroCommand,   0), Variable,  false,  u"[enable], [macro_ref]"},
    {u"CEILING",                 "NN",                             packFunction(  288, MathTrig,       0), Fixed,     true,   u"number, significance"},
    {u"CELL",                    "Sc",                             packFunction(  125, Information,    0), Variable,  true,   u"info_type, [reference]"},
    {u"CELL.PROTECTION",         "bb",                             packFunction(32814, MacroCommand,   0), Variable,  false,  u"[locked], [hidden]"},
    {u"CHANGE.LINK",             "bbb",                            packFunction(32934, MacroCommand,   0), Variable,  false,  u"[old_text], [new_text], [type_of_link]"},
    {u"CHAR",                    "N",                              packFunction(  111, Text,           0), Fixed,     true,   u"number"},
    {u"CHART.ADD.DATA",          "bbbbbb",                         packFunction(33160, MacroCommand,   0), Variable,  false,  u"[ref], [rowcol], [titles], [categories], [replace], [series]"},
    {u"CHART.TREND",             "bbbbbbbb",                       packFunction(33118, MacroCommand,   0), Variable,  false,  u"[type], [ord_per], [forecast], [backcast], [intercept], [equation], [r_squared], [name]"},
    {u"CHART.WIZARD",            "bbbbbbbbbbbbbb",                 packFunction(33056, MacroCommand,   0), Variable,  false,  u"[long], [ref], [gallery_num], [type_num], [plot_by], [categories], [ser_titles], [legend], [title], [x_title], [y_title], [z_title], [number_cats], [number_titles]"},
    {u"CHECK.COMMAND",           "BBBBb",                          packFunction(  155, MacroCommand,   0), Variable,  false,  u"bar_num, menu, command, check, [subcommand]"},
    {u"CHECKBOX.PROPERTIES",     "bbbbb",                          packFunction(33203, MacroCommand,   0), Variable,  false,  u"[value], [link], [accel_text], [accel2_text], [3d_shading]"},
    {u"CHIDIST",                 "NN",                             packFunction(  274, Statistical,    0), Fixed,     true,   u"x, deg_freedom"},
    {u"CHIINV",                  "NN",                             packFunction(  275, Statistical,    0), Fixed,     true,   u"probability, deg_freedom"},
    {u"CHITEST",                 "QQ",                             packFunction(  306, Statistical,    0), Fixed,     true,   u"actual_range, expected_range"},
    {u"CHOOSE",                  "NAaaaaaaaaaaaaaaaaaaaaaaaaaaaa", packFunction(  100, Lookup,         0), Variable,  true,   u"index_num, value1, [value2, ...]"},
    {u"CLEAN",                   "S",                              packFunction(  162, Text,           0), Fixed,     true,   u"text"},
    {u"CLEAR",                   "n",                              packFunction(32820, MacroCommand,   0), Variable,  true,   u"[type_num]"},
    {u"CLEAR.OUTLINE",           "",                               packFunction(33217, MacroCommand,   0), Variable,  false,  u""},
    {u"CLEAR.ROUTING.SLIP",      "b",                              packFunction(33236, MacroCommand,   0), Variable,  false,  u"[reset_only_logical]"},
    {u"CLOSE",                   "bb",                             packFunction(32784, MacroCommand,   0), Variable,  false,  u"[save_logical], [route_logical]"},
    {u"CLOSE.ALL",               "",                               packFunction(32771, MacroCommand,   0), Variable,  false,  u""},
    {u"CODE",                    "S",                              packFunction(  121, Text,           0), Fixed,     true,   u"text"},
    {u"COLOR.PALETTE",           "b",                              packFunction(32929, MacroCommand,   0), Variable,  false,  u"[file_text]"},
    {u"COLUMN",                  "c",                              packFunction(    9, Lookup,         0), Variable,  true,   u"[reference]"},
    {u"COLUMN.WIDTH",            "nclnn",                          packFunction(32815, MacroCommand,   0), Variable,  true,   u"[width_num], [reference], [standard], [type_num], [standard_num]"},
    {u"COLUMNS",                 "Q",                              packFunction(   77, Lookup,         0), Fixed,     true,   u"array"},
    {u"COMBIN",                  "NN",                             packFunction(  276, MathTrig,       0), Fixed,     true,   u"number, number_chosen"},
    {u"COMBINATION",             "b",                              packFunction(32841, MacroCommand,   0), Variable,  false,  u"[type_num]"},
    {u"CONCATENATE",             "Ssssssssssssssssssssssssssssss", packFunction(  336, Text,           0), Variable,  true,   u"text1, [text2, ...]"},
    {u"CONFIDENCE",              "NNN",                            packFunction(  277, Statistical,    0), Fixed,     true,   u"alpha, standard_dev, size"},
    {u"CONSOLIDATE",             "bbbbb",                          packFunction(32959, MacroCommand,   0), Variable,  false,  u"[source_refs], [function_num], [top_row], [left_col], [create_links]"},
    {u"CONSTRAIN.NUMERIC",       "b",                              packFunction(33065, MacroCommand,   0), Variable,  false,  u"[numeric_only]"},
    {u"COPY",                    "cc",                             packFunction(32818, MacroCommand,   0), Variable,  true,   u"[from_reference], [to_reference]"},
    {u"COPY.CHART",              "b",                              packFunction(32915, MacroCommand,   0), Variable,  false,  u"[size_num]"},
    {u"COPY.PICTURE",            "bbb",                            packFunction(32876, MacroCommand,   0), Variable,  false,  u"[appearance_num], [size_num], [type_num]"},
    {u"COPY.TOOL",               "bb",                             packFunction(33063, MacroCommand,   0), Variable,  false,  u"[bar_id], [position]"},
    {u"CORREL",                  "QQ",                             packFunction(  307, Statistical,    0), Fixed,     true,   u"array1, array2"},
    {u"COS",                     "N",                              packFunction(   16, MathTrig,       0), Fixed,     true,   u"number"},
    {u"COSH",                    "N",                              packFunction(  230, MathTrig,       0), Fixed,     true,   u"number"},
    {u"COUNT",                   "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(    0, Statistical,    0), Variable,  true,   u"value1, [value2, ...]"},
    {u"COUNTA",                  "Bbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", packFunction(  169, Statistical,    0), Variable,  true,   u"value1, [value2, ...]"},
    {u"COUNTBLANK",              "C",                              packFunction(  347, Information,    0), Fixed,     true,   u"range"},
    {u"COUNTIF",                 "CA",                             packFunction(  346, MathTrig,       0), Fixed,     true,   u"range, criteria"},
    {u"COVAR",                   "QQ",                             packFunction(  308, Statistical,    0), Fixed,     true,   u"array1, array2"},
    {u"CREATE.NAMES",            "bbbb",                           packFunction(32830, MacroCommand,   0), Variable,  false,  u"[top], [left], [bottom], [right]"},
    {u"CREATE.OBJECT",           "BBbbbbbbbbb",                    packFunction(  236, MacroCommand,   0), Variable,  false,  u"arg1, arg2, [arg3, ...]"},
    {u"CREATE.PUBLISHER",        "bbbb",                           packFunction(32985, MacroCommand,   0), Variable,  false,  u"[file_text], [appearance], [size], [formats]"},
    {u"CRITBINOM",               "NNN",                            packFunction(  278, Statistical,    0), Fixed,     true,   u"trials, probability_s, alpha"},
    {u"CUSTOM.REPEAT",           "bbb",                            packFunction(  240, MacroCommand,   0), Variable,  false,  u"[macro_text], [repeat_text], [record_text]"},
    {u"CUSTOM.UNDO",             "bb",                             packFunction(  239, MacroCommand,   0), Variable,  false,  u"[macro_text], [undo_text]"},
    {u"CUSTOMIZE.TOOLBAR?",      "b",                              packFunction(33044, MacroCommand,   0), Variable,  false,  u"[category]"},
    {u"CUT",                     "cc",                             packFunction(32817, MacroCommand,   0), Variable,  true,   u"[from_reference], [to_reference]"},
    {u"DATA.DELETE",             "",                               packFunction(32804, MacroCommand,   0), Variable,  false,  u""},
    {u"DATA.FIND",               "b",                              packFunction(32802, MacroCommand,   0), Variable,  false,  u"[logical]"},
    {u"DATA.FIND.NEXT",          "",                               packFunction(32867, MacroCommand,   0), Variable,  false,  u""},
    {u"DATA.FIND.PREV",          "",                               packFunction(32868, MacroCommand,   0), Variable,  false,  u""},
    {u"DATA.FORM",               "",                               packFunction(32914, MacroCommand,   0), Variable,  true,   u""},
    {u"DATA.LABEL",              "bbbbbbbbbb",                     packFunction(33147, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"DATA.SERIES",             "nnnnnl",                         packFunction(32808, MacroCommand,   0), Variable,  true,   u"[rowcol], [type_num], [date_num], [step_value], [stop_value], [trend]"},
    {u"DATE",                    "NNN",                            packFunction(   65, DateTime,      14), Fixed,     true,   u"year, month, day"},
    {u"DATEDIF",                 "NNS",                            packFunction(  351, DateTime,       0), Fixed,     true,   u"start_date, end_date, unit"},
    {u"DATESTRING",              "A",                              packFunction(  352, Hidden,         0), Fixed,     true,   u"serial_number"},
    {u"DATEVALUE",               "S",                              packFunction(  140, DateTime,       0), Fixed,     true,   u"date_text"},
    {u"DAVERAGE",                "CAC",                            packFunction(   42, Database,       0), Fixed,     true,   u"database, field, criteria"},
    {u"DAY",                     "N",                              packFunction(   67, DateTime,       0), Fixed,     true,   u"serial_number"},
    {u"DAYS360",                 "NNl",                            packFunction(  220, DateTime,       0), Variable,  true,   u"start_date, end_date, [method]"},
    {u"DB",                      "NNNNn",                          packFunction(  247, Financial,      8), Variable,  true,   u"cost, salvage, life, period, [month]"},
    {u"DBCS",                    "A",                              packFunction(  215, Hidden,         0), Fixed,     true,   u"text"},
    {u"DCOUNT",                  "CaC",                            packFunction(   40, Database,       0), Fixed,     true,   u"database, [field], criteria"},
    {u"DCOUNTA",                 "CaC",                            packFunction(  199, Database,       0), Fixed,     true,   u"database, [field], criteria"},
    {u"DDB",                     "NNNNn",                          packFunction(  144, Financial,      8), Variable,  true,   u"cost, salvage, life, period, [factor]"},
    {u"DEFINE.NAME",             "bbbbbbb",                        packFunction(32829, MacroCommand,   0), Variable,  false,  u"[name_text], [refers_to], [macro_type], [shortcut_text], [hidden], [category], [local]"},
    {u"DEFINE.STYLE",            "bbbbbbbbbbbbbb",                 packFunction(32997, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"DEGREES",                 "N",                              packFunction(  343, MathTrig,       0), Fixed,     true,   u"angle"},
    {u"DELETE.ARROW",            "",                               packFunction(32894, MacroCommand,   0), Variable,  false,  u""},
    {u"DELETE.BAR",              "B",                              packFunction(  200, MacroCommand,   0), Fixed,     false,  u"bar_num"},
    {u"DELETE.CHART.AUTOFORMAT", "b",                              packFunction(33159, MacroCommand,   0), Variable,  false,  u"[name_text]"},
    {u"DELETE.COMMAND",          "BBBb",                           packFunction(  159, MacroCommand,   0), Variable,  false,  u"bar_num, menu, command, [subcommand]"},
    {u"DELETE.FORMAT",           "b",                              packFunction(32879, MacroCommand,   0), Variable,  false,  u"[format_text]"},
    {u"DELETE.MENU",             "BBb",                            packFunction(  158, MacroCommand,   0), Variable,  false,  u"bar_num, menu, [submenu]"},
    {u"DELETE.NAME",             "b",                              packFunction(32878, MacroCommand,   0), Variable,  false,  u"[name_text]"},
    {u"DELETE.OVERLAY",          "",                               packFunction(32921, MacroCommand,   0), Variable,  false,  u""},
    {u"DELETE.STYLE",            "b",                              packFunction(32930, MacroCommand,   0), Variable,  false,  u"[style_text]"},
    {u"DELETE.TOOL",             "bb",                             packFunction(33057, MacroCommand,   0), Variable,  false,  u"[bar_id], [position]"},
    {u"DELETE.TOOLBAR",          "B",                              packFunction(  254, MacroCommand,   0), Fixed,     false,  u"bar_name"},
    {u"DEMOTE",                  "b",                              packFunction(32971, MacroCommand,   0), Variable,  false,  u"[row_col]"},
    {u"DEREF",                   "C",                              packFunction(   90, MacroCommand,   0), Fixed,     true,   u"reference"},
    {u"DEVSQ",                   "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(  318, Statistical,    0), Variable,  true,   u"number1, [number2, ...]"},
    {u"DGET",                    "CAC",                            packFunction(  235, Database,       0), Fixed,     true,   u"database, field, criteria"},
    {u"DIALOG.BOX",              "B",                              packFunction(  161, MacroCommand,   0), Fixed,     false,  u"dialog_ref"},
    {u"DIRECTORY",               "b",                              packFunction(  123, MacroCommand,   0), Variable,  false,  u"[path_text]"},
    {u"DISABLE.INPUT",           "b",                              packFunction(32908, MacroCommand,   0), Variable,  false,  u"[logical]"},
    {u"DISPLAY",                 "bbbbbbbbb",                      packFunction(32795, MacroCommand,   0), Variable,  false,  u"[formulas], [gridlines], [headings], [zeros], [color_num], [reserved], [outline], [page_breaks], [object_num]"},
    {u"DMAX",                    "CAC",                            packFunction(   44, Database,       0), Fixed,     true,   u"database, field, criteria"},
    {u"DMIN",                    "CAC",                            packFunction(   43, Database,       0), Fixed,     true,   u"database, field, criteria"},
    {u"DOCUMENTS",               "bb",                             packFunction(   93, MacroCommand,   0), Variable,  false,  u"[type_num], [match_text]"},
    {u"DOLLAR",                  "Nn",                             packFunction(   13, Text,           0), Variable,  true,   u"number, [decimals]"},
    {u"DPRODUCT",                "CAC",                            packFunction(  189, Database,       0), Fixed,     true,   u"database, field, criteria"},
    {u"DSTDEV",                  "CAC",                            packFunction(   45, Database,       0), Fixed,     true,   u"database, field, criteria"},
    {u"DSTDEVP",                 "CAC",                            packFunction(  195, Database,       0), Fixed,     true,   u"database, field, criteria"},
    {u"DSUM",                    "CAC",                            packFunction(   41, Database,       0), Fixed,     true,   u"database, field, criteria"},
    {u"DUPLICATE",               "",                               packFunction(32979, MacroCommand,   0), Variable,  false,  u""},
    {u"DVAR",                    "CAC",                            packFunction(   47, Database,       0), Fixed,     true,   u"database, field, criteria"},
    {u"DVARP",                   "CAC",                            packFunction(  196, Database,       0), Fixed,     true,   u"database, field, criteria"},
    {u"ECHO",                    "b",                              packFunction(   87, MacroCommand,   0), Variable,  false,  u"[logical]"},
    {u"EDIT.COLOR",              "bbbb",                           packFunction(32991, MacroCommand,   0), Variable,  false,  u"[color_num], [red_value], [green_value], [blue_value]"},
    {u"EDIT.DELETE",             "n",                              packFunction(32822, MacroCommand,   0), Variable,  true,   u"[shift_num]"},
    {u"EDIT.OBJECT",             "b",                              packFunction(33046, MacroCommand,   0), Variable,  false,  u"[verb_num]"},
    {u"EDIT.REPEAT",             "",                               packFunction(32858, MacroCommand,   0), Variable,  false,  u""},
    {u"EDIT.SERIES",             "bbbbbbb",                        packFunction(32996, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"EDIT.TOOL",               "bb",                             packFunction(33111, MacroCommand,   0), Variable,  false,  u"[bar_id], [position]"},
    {u"EDITBOX.PROPERTIES",      "bbbb",                           packFunction(33206, MacroCommand,   0), Variable,  false,  u"[validation_num], [multiline_logical], [vscroll_logical], [password_logical]"},
    {u"EDITION.OPTIONS",         "bbbbbbb",                        packFunction(33019, MacroCommand,   0), Variable,  false,  u"[edition_type], [edition_name], [reference], [option], [appearance], [size], [formats]"},
    {u"ELSE",                    "",                               packFunction(  223, MacroControl,   0), Fixed,     true,   u""},
    {u"ELSE.IF",                 "L",                              packFunction(  224, MacroControl,   0), Fixed,     true,   u"logical_test"},
    {u"ENABLE.COMMAND",          "BBBBb",                          packFunction(  154, MacroCommand,   0), Variable,  false,  u"bar_num, menu, command, enable, [subcommand]"},
    {u"ENABLE.OBJECT",           "bb",                             packFunction(33212, MacroCommand,   0), Variable,  false,  u"[object_id_text], [enable_logical]"},
    {u"ENABLE.TIPWIZARD",        "b",                              packFunction(33245, MacroCommand,   0), Variable,  false,  u"[logical]"},
    {u"ENABLE.TOOL",             "BBB",                            packFunction(  265, MacroCommand,   0), Fixed,     false,  u"bar_id, position, enable"},
    {u"END.IF",                  "",                               packFunction(  225, MacroControl,   0), Fixed,     true,   u""},
    {u"ENTER.DATA",              "b",                              packFunction(33011, MacroCommand,   0), Variable,  false,  u"[logical]"},
    {u"ERROR",                   "bb",                             packFunction(   84, MacroCommand,   0), Variable,  false,  u"[enable_logical], [macro_ref]"},
    {u"ERROR.TYPE",              "A",                              packFunction(  261, Information,    0), Fixed,     true,   u"error_val"},
    {u"ERRORBAR.X",              "bbbb",                           packFunction(33231, MacroCommand,   0), Variable,  false,  u"[include], [type], [amount], [minus]"},
    {u"ERRORBAR.Y",              "bbbb",                           packFunction(33232, MacroCommand,   0), Variable,  false,  u"[include], [type], [amount], [minus]"},
    {u"EVALUATE",                "S",                              packFunction(  257, MacroCommand,   0), Fixed,     true,   u"formula_text"},
    {u"EVEN",                    "N",                              packFunction(  279, MathTrig,       0), Fixed,     true,   u"number"},
    {u"EXACT",                   "SS",                             packFunction(  117, Text,           0), Fixed,     true,   u"text1, text2"},
    {u"EXEC",                    "Bbbb",                           packFunction(  110, MacroCommand,   0), Variable,  false,  u"program_text, [window_num], [background], [preferred]"},
    {u"EXECUTE",                 "BB",                             packFunction(  178, MacroCommand,   0), Fixed,     false,  u"channel_num, execute_text"},
    {u"EXP",                     "N",                              packFunction(   21, MathTrig,       0), Fixed,     true,   u"number"},
    {u"EXPONDIST",               "NNL",                            packFunction(  280, Statistical,    0), Fixed,     true,   u"x, lambda, cumulative"},
    {u"EXTEND.POLYGON",          "b",                              packFunction(33036, MacroCommand,   0), Variable,  false,  u"[array]"},
    {u"EXTRACT",                 "b",                              packFunction(32803, MacroCommand,   0), Variable,  false,  u"[unique]"},
    {u"FACT",                    "N",                              packFunction(  184, MathTrig,       0), Fixed,     true,   u"number"},
    {u"FALSE",                   "",                               packFunction(   35, Logical,        0), Fixed,     false,  u""},
    {u"FCLOSE",                  "B",                              packFunction(  133, MacroCommand,   0), Fixed,     false,  u"file_num"},
    {u"FDIST",                   "NNN",                            packFunction(  281, Statistical,    0), Fixed,     true,   u"x, deg_freedom1, deg_freedom2"},
    {u"FILE.CLOSE",              "bb",                             packFunction(32912, MacroCommand,   0), Variable,  false,  u"[save_logical], [route_logical]"},
    {u"FILE.DELETE",             "b",                              packFunction(32774, MacroCommand,   0), Variable,  false,  u"[file_text]"},
    {u"FILES",                   "bb",                             packFunction(  166, MacroCommand,   0), Variable,  false,  u"[arg1], [arg2]"},
    {u"FILL.AUTO",               "bb",                             packFunction(33042, MacroCommand,   0), Variable,  false,  u"[destination_ref], [copy_only]"},
    {u"FILL.DOWN",               "",                               packFunction(32825, MacroCommand,   0), Variable,  true,   u""},
    {u"FILL.GROUP",              "b",                              packFunction(32968, MacroCommand,   0), Variable,  false,  u"[type_num]"},
    {u"FILL.LEFT",               "",                               packFunction(32920, MacroCommand,   0), Variable,  true,   u""},
    {u"FILL.RIGHT",              "",                               packFunction(32824, MacroCommand,   0), Variable,  true,   u""},
    {u"FILL.UP",                 "",                               packFunction(32919, MacroCommand,   0), Variable,  true,   u""},
    {u"FILTER",                  "bbbbbb",                         packFunction(33215, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"FILTER.ADVANCED",         "bbbbb",                          packFunction(33138, MacroCommand,   0), Variable,  false,  u"[operation], [list_ref], [criteria_ref], [copy_ref], [unique]"},
    {u"FILTER.SHOW.ALL",         "",                               packFunction(33216, MacroCommand,   0), Variable,  false,  u""},
    {u"FIND",                    "SSn",                            packFunction(  124, Text,           0), Variable,  true,   u"find_text, within_text, [start_num]"},
    {u"FIND.FILE?",              "",                               packFunction(33243, MacroCommand,   0), Variable,  false,  u""},
    {u"FINDB",                   "SSn",                            packFunction(  205, Hidden,         0), Variable,  true,   u"find_text, within_text, [start_num]"},
    {u"FINV",                    "NNN",                            packFunction(  282, Statistical,    0), Fixed,     true,   u"probability, deg_freedom1, deg_freedom2"},
    {u"FISHER",                  "N",                              packFunction(  283, Statistical,    0), Fixed,     true,   u"x"},
    {u"FISHERINV",               "N",                              packFunction(  284, Statistical,    0), Fixed,     true,   u"y"},
    {u"FIXED",                   "Nnl",                            packFunction(   14, Text,           0), Variable,  true,   u"number, [decimals], [no_commas]"},
    {u"FLOOR",                   "NN",                             packFunction(  285, MathTrig,       0), Fixed,     true,   u"number, significance"},
    {u"FONT",                    "bb",                             packFunction(32794, MacroCommand,   0), Variable,  false,  u"[name_text], [size_num]"},
    {u"FONT.PROPERTIES",         "ssnlllllnnlnnn",                 packFunction(33149, MacroCommand,   0), Variable,  true,   u"[font], [font_style], [size], [strikethrough], [superscript], [subscript], [outline], [shadow], [underline], [color], [normal], [background], [start_char], [char_count]"},
    {u"FOPEN",                   "Bb",                             packFunction(  132, MacroCommand,   0), Variable,  false,  u"file_text, [access_num]"},
    {u"FOR",                     "BBBb",                           packFunction(  171, MacroControl,   0), Variable,  true,   u"counter_text, start_num, end_num, [step_num]"},
    {u"FOR.CELL",                "Bbb",                            packFunction(  226, MacroControl,   0), Variable,  true,   u"ref_name, [area_ref], [skip_blanks]"},
    {u"FORECAST",                "NQQ",                            packFunction(  309, Statistical,    0), Fixed,     true,   u"x, known_y's, known_x's"},
    {u"FORMAT.AUTO",             "bbbbbbb",                        packFunction(33037, MacroCommand,   0), Variable,  false,  u"[format_num], [number], [font], [alignment], [border], [pattern], [width]"},
    {u"FORMAT.CHART",            "bbbbbbbbbbbbbbbbbb",             packFunction(33233, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"FORMAT.CHARTTYPE",        "bbbb",                           packFunction(33191, MacroCommand,   0), Variable,  false,  u"[apply_to], [group_num], [dimension], [type_num]"},
    {u"FORMAT.FONT",             "bbbbbbbbbbbbbbb",                packFunction(32918, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"FORMAT.LEGEND",           "b",                              packFunction(32856, MacroCommand,   0), Variable,  false,  u"[position_num]"},
    {u"FORMAT.MAIN",             "bbbbbbbbbbbbbb",                 packFunction(32993, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"FORMAT.MOVE",             "bbb",                            packFunction(32896, MacroCommand,   0), Variable,  false,  u"[x_offset], [y_offset], [reference]"},
    {u"FORMAT.NUMBER",           "S",                              packFunction(32810, MacroCommand,   0), Variable,  true,   u"format_text"},
    {u"FORMAT.OVERLAY",          "bbbbbbbbbbbbbb",                 packFunction(32994, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"FORMAT.SHAPE",            "bbbbb",                          packFunction(33035, MacroCommand,   0), Variable,  false,  u"[vertex_num], [insert], [reference], [x_offset], [y_offset]"},
    {u"FORMAT.SIZE",             "bbb",                            packFunction(32897, MacroCommand,   0), Variable,  false,  u"[x_off], [y_off], [reference]"},
    {u"FORMAT.TEXT",             "bbbbbbbbbbb",                    packFunction(32857, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"FORMULA",                 "Sc",                             packFunction(32864, MacroCommand,   0), Variable,  true,   u"formula_text, [reference]"},
    {u"FORMULA.ARRAY",           "bb",                             packFunction(32866, MacroCommand,   0), Variable,  false,  u"[formula_text], [reference]"},
    {u"FORMULA.CONVERT",         "BBbbb",                          packFunction(  241, MacroCommand,   0), Variable,  false,  u"formula_text, from_a1, [to_a1], [to_ref_type], [rel_to_ref]"},
    {u"FORMULA.FILL",            "bb",                             packFunction(32865, MacroCommand,   0), Variable,  false,  u"[formula_text], [reference]"},
    {u"FORMULA.FIND",            "bbbbbbbbbbbb",                   packFunction(32832, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"FORMULA.FIND.NEXT",       "",                               packFunction(32869, MacroCommand,   0), Variable,  false,  u""},
    {u"FORMULA.FIND.PREV",       "",                               packFunction(32870, MacroCommand,   0), Variable,  false,  u""},
    {u"FORMULA.GOTO",            "cl",                             packFunction(32831, MacroCommand,   0), Variable,  true,   u"[reference], [corner]"},
    {u"FORMULA.REPLACE",         "bbbbbbbbbbb",                    packFunction(32898, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"FPOS",                    "Bb",                             packFunction(  139, MacroCommand,   0), Variable,  false,  u"file_num, [position_num]"},
    {u"FREAD",                   "BB",                             packFunction(  136, MacroCommand,   0), Fixed,     false,  u"file_num, num_chars"},
    {u"FREADLN",                 "B",                              packFunction(  135, MacroCommand,   0), Fixed,     false,  u"file_num"},
    {u"FREEZE.PANES",            "bbb",                            packFunction(32903, MacroCommand,   0), Variable,  false,  u"[logical], [col_split], [row_split]"},
    {u"FREQUENCY",               "QQ",                             packFunction(  252, Statistical,    0), Fixed,     true,   u"data_array, bins_array"},
    {u"FSIZE",                   "B",                              packFunction(  134, MacroCommand,   0), Fixed,     false,  u"file_num"},
    {u"FTEST",                   "QQ",                             packFunction(  310, Statistical,    0), Fixed,     true,   u"array1, array2"},
    {u"FULL",                    "b",                              packFunction(32783, MacroCommand,   0), Variable,  false,  u"[logical]"},
    {u"FULL.SCREEN",             "b",                              packFunction(33184, MacroCommand,   0), Variable,  false,  u"[logical]"},
    {u"FUNCTION.WIZARD?",        "b",                              packFunction(33218, MacroCommand,   0), Variable,  false,  u"[arg1]"},
    {u"FV",                      "NNnnn",                          packFunction(   57, Financial,      8), Variable,  true,   u"rate, nper, [pmt], [pv], [type]"},
    {u"FWRITE",                  "BB",                             packFunction(  138, MacroCommand,   0), Fixed,     false,  u"file_num, text"},
    {u"FWRITELN",                "BB",                             packFunction(  137, MacroCommand,   0), Fixed,     false,  u"file_num, text"},
    {u"GALLERY.3D.AREA",         "b",                              packFunction(32961, MacroCommand,   0), Variable,  false,  u"[type_num]"},
    {u"GALLERY.3D.BAR",          "b",                              packFunction(33040, MacroCommand,   0), Variable,  false,  u"[type_num]"},
    {u"GALLERY.3D.COLUMN",       "b",                              packFunction(32962, MacroCommand,   0), Variable,  false,  u"[type_num]"},
    {u"GALLERY.3D.LINE",         "b",                              packFunction(32963, MacroCommand,   0), Variable,  false,  u"[type_num]"},
    {u"GALLERY.3D.PIE",          "b",                              packFunction(32964, MacroCommand,   0), Variable,  false,  u"[type_num]"},
    {u"GALLERY.3D.SURFACE",      "b",                              packFunction(33041, MacroCommand,   0), Variable,  false,  u"[type_num]"},
    {u"GALLERY.AREA",            "bb",                             packFunction(32835, MacroCommand,   0), Variable,  false,  u"[type_num], [delete_overlay]"},
    {u"GALLERY.BAR",             "bb",                             packFunction(32836, MacroCommand,   0), Variable,  false,  u"[type_num], [delete_overlay]"},
    {u"GALLERY.COLUMN",          "bb",                             packFunction(32837, MacroCommand,   0), Variable,  false,  u"[type_num], [delete_overlay]"},
    {u"GALLERY.CUSTOM",          "b",                              packFunction(33156, MacroCommand,   0), Variable,  false,  u"[name_text]"},
    {u"GALLERY.DOUGHNUT",        "bb",                             packFunction(33112, MacroCommand,   0), Variable,  false,  u"[type_num], [delete_overlay]"},
    {u"GALLERY.LINE",            "bb",                             packFunction(32838, MacroCommand,   0), Variable,  false,  u"[type_num], [delete_overlay]"},
    {u"GALLERY.PIE",             "bb",                             packFunction(32839, MacroCommand,   0), Variable,  false,  u"[type_num], [delete_overlay]"},
    {u"GALLERY.RADAR",           "bb",                             packFunction(33017, MacroCommand,   0), Variable,  false,  u"[type_num], [delete_overlay]"},
    {u"GALLERY.SCATTER",         "bb",                             packFunction(32840, MacroCommand,   0), Variable,  false,  u"[type_num], [delete_overlay]"},
    {u"GAMMADIST",               "NNNL",                           packFunction(  286, Statistical,    0), Fixed,     true,   u"x, alpha, beta, cumulative"},
    {u"GAMMAINV",                "NNN",                            packFunction(  287, Statistical,    0), Fixed,     true,   u"probability, alpha, beta"},
    {u"GAMMALN",                 "N",                              packFunction(  271, Statistical,    0), Fixed,     true,   u"x"},
    {u"GEOMEAN",                 "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(  319, Statistical,    0), Variable,  true,   u"number1, [number2, ...]"},
    {u"GET.BAR",                 "bbbb",                           packFunction(  182, MacroCommand,   0), Variable,  false,  u"[bar_num], [menu], [command], [subcommand]"},
    {u"GET.CELL",                "Bb",                             packFunction(  185, MacroCommand,   0), Variable,  false,  u"type_num, [reference]"},
    {u"GET.CHART.ITEM",          "Bbb",                            packFunction(  160, MacroCommand,   0), Variable,  false,  u"x_y_index, [point_index], [item_text]"},
    {u"GET.DEF",                 "Bbb",                            packFunction(  145, MacroCommand,   0), Variable,  false,  u"def_text, [document_text], [type_num]"},
    {u"GET.DOCUMENT",            "Bb",                             packFunction(  188, MacroCommand,   0), Variable,  false,  u"type_num, [name_text]"},
    {u"GET.FORMULA",             "B",                              packFunction(  106, MacroCommand,   0), Fixed,     false,  u"reference"},
    {u"GET.LINK.INFO",           "BBbb",                           packFunction(  242, MacroCommand,   0), Variable,  false,  u"link_text, type_num, [type_of_link], [reference]"},
    {u"GET.MOVIE",               "BBb",                            packFunction(  335, MacroCommand,   0), Variable,  false,  u"arg1, arg2, [arg3]"},
    {u"GET.NAME",                "Bb",                             packFunction(  107, MacroCommand,   0), Variable,  false,  u"name_text, [info_type]"},
    {u"GET.NOTE",                "bbb",                            packFunction(  191, MacroCommand,   0), Variable,  false,  u"[cell_ref], [start_char], [num_chars]"},
    {u"GET.OBJECT",              "Nnnnn",                          packFunction(  246, MacroCommand,   0), Variable,  true,   u"type_num, [object_id_text], [start_num], [count_num], [item_index]"},
    {u"GET.PIVOT.FIELD",         "Bbb",                            packFunction(  340, MacroCommand,   0), Variable,  false,  u"type_num, [pivot_field_name], [pivot_table_name]"},
    {u"GET.PIVOT.ITEM",          "Bbbb",                           packFunction(  341, MacroCommand,   0), Variable,  false,  u"type_num, [pivot_item_name], [pivot_field_name], [pivot_table_name]"},
    {u"GET.PIVOT.TABLE",         "Bb",                             packFunction(  339, MacroCommand,   0), Variable,  false,  u"type_num, [pivot_table_name]"},
    {u"GET.TOOL",                "Bbb",                            packFunction(  259, MacroCommand,   0), Variable,  false,  u"type_num, [bar_id], [position]"},
    {u"GET.TOOLBAR",             "Bb",                             packFunction(  258, MacroCommand,   0), Variable,  false,  u"type_num, [bar_id]"},
    {u"GET.WINDOW",              "Bb",                             packFunction(  187, MacroCommand,   0), Variable,  false,  u"type_num, [window_text]"},
    {u"GET.WORKBOOK",            "Bb",                             packFunction(  268, MacroCommand,   0), Variable,  false,  u"type_num, [name_text]"},
    {u"GET.WORKSPACE",           "B",                              packFunction(  186, MacroCommand,   0), Fixed,     false,  u"type_num"},
    {u"GETPIVOTDATA",            "BS",                             packFunction(  358, Hidden,         0), Variable,  true,   u"pivot_table, name"},
    {u"GOAL.SEEK",               "CNC",                            packFunction(32966, MacroCommand,   0), Variable,  true,   u"target_cell, target_value, variable_cell"},
    {u"GOTO",                    "C",                              packFunction(   53, MacroControl,   0), Fixed,     true,   u"reference"},
    {u"GRIDLINES",               "bbbbbbb",                        packFunction(32844, MacroCommand,   0), Variable,  false,  u"[x_major], [x_minor], [y_major], [y_minor], [z_major], [z_minor], [2d_effect]"},
    {u"GROUP",                   "",                               packFunction(  245, MacroCommand,   0), Fixed,     false,  u""},
    {u"GROWTH",                  "Qqql",                           packFunction(   52, Statistical,    0), Variable,  true,   u"known_y's, [known_x's], [new_x's], [const]"},
    {u"HALT",                    "b",                              packFunction(   54, MacroControl,   0), Variable,  false,  u"[cancel_close]"},
    {u"HARMEAN",                 "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(  320, Statistical,    0), Variable,  true,   u"number1, [number2, ...]"},
    {u"HELP",                    "b",                              packFunction(  181, MacroCommand,   0), Variable,  false,  u"[help_ref]"},
    {u"HIDE",                    "",                               packFunction(32861, MacroCommand,   0), Variable,  false,  u""},
    {u"HIDE.DIALOG",             "b",                              packFunction(33210, MacroCommand,   0), Variable,  false,  u"[cancel_logical]"},
    {u"HIDE.OBJECT",             "bb",                             packFunction(32983, MacroCommand,   0), Variable,  false,  u"[object_id_text], [hide]"},
    {u"HLINE",                   "b",                              packFunction(32881, MacroCommand,   0), Variable,  false,  u"[num_columns]"},
    {u"HLOOKUP",                 "AQNl",                           packFunction(  101, Lookup,         0), Variable,  true,   u"lookup_value, table_array, row_index_num, [range_lookup]"},
    {u"HOUR",                    "N",                              packFunction(   71, DateTime,       0), Fixed,     true,   u"serial_number"},
    {u"HPAGE",                   "b",                              packFunction(32883, MacroCommand,   0), Variable,  false,  u"[num_windows]"},
    {u"HSCROLL",                 "bb",                             packFunction(32885, MacroCommand,   0), Variable,  false,  u"[position], [col_logical]"},
    {u"HYPERLINK",               "Ss",                             packFunction(  359, Lookup,         0), Variable,  true,   u"link_location, [friendly_name]"},
    {u"HYPGEOMDIST",             "NNNN",                           packFunction(  289, Statistical,    0), Fixed,     true,   u"sample_s, number_sample, population_s, number_pop"},
    {u"IF",                      "Lee",                            packFunction(    1, Logical,        0), Variable,  true,   u"logical_test, [value_if_true], [value_if_false]"},
    {u"INDEX",                   "Unnn",                           packFunction(   29, Lookup,         0), Variable,  true,   u"array, [row_num], [column_num], [area_num]"},
    {u"INDIRECT",                "Sl",                             packFunction(  148, Lookup,         0), Variable,  true,   u"ref_text, [a1]"},
    {u"INFO",                    "S",                              packFunction(  244, Information,    0), Fixed,     true,   u"type_text"},
    {u"INITIATE",                "BB",                             packFunction(  175, MacroCommand,   0), Fixed,     false,  u"app_text, topic_text"},
    {u"INPUT",                   "Snssnns",                        packFunction(  104, MacroCommand,   0), Variable,  true,   u"message_text, [type_num], [title_text], [default], [x_pos], [y_pos], [help_ref]"},
    {u"INSERT",                  "n",                              packFunction(32823, MacroCommand,   0), Variable,  true,   u"[shift_num]"},
    {u"INSERT.OBJECT",           "bbbbbbbbbbbbb",                  packFunction(33027, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"INSERT.PICTURE",          "bb",                             packFunction(33110, MacroCommand,   0), Variable,  false,  u"[file_name], [filter_number]"},
    {u"INSERT.TITLE",            "bbbbb",                          packFunction(33148, MacroCommand,   0), Variable,  false,  u"[chart], [y_primary], [x_primary], [y_secondary], [x_secondary]"},
    {u"INT",                     "N",                              packFunction(   25, MathTrig,       0), Fixed,     true,   u"number"},
    {u"INTERCEPT",               "QQ",                             packFunction(  311, Statistical,    0), Fixed,     true,   u"known_y's, known_x's"},
    {u"IPMT",                    "NNNNnn",                         packFunction(  167, Financial,      8), Variable,  true,   u"rate, per, nper, pv, [fv], [type]"},
    {u"IRR",                     "Qn",                             packFunction(   62, Financial,      9), Variable,  true,   u"values, [guess]"},
    {u"ISBLANK",                 "A",                              packFunction(  129, Information,    0), Fixed,     true,   u"value"},
    {u"ISERR",                   "A",                              packFunction(  126, Information,    0), Fixed,     true,   u"value"},
    {u"ISERROR",                 "A",                              packFunction(    3, Information,    0), Fixed,     true,   u"value"},
    {u"ISLOGICAL",               "A",                              packFunction(  198, Information,    0), Fixed,     true,   u"value"},
    {u"ISNA",                    "A",                              packFunction(    2, Information,    0), Fixed,     true,   u"value"},
    {u"ISNONTEXT",               "A",                              packFunction(  190, Information,    0), Fixed,     true,   u"value"},
    {u"ISNUMBER",                "A",                              packFunction(  128, Information,    0), Fixed,     true,   u"value"},
    {u"ISPMT",                   "NNNN",                           packFunction(  350, Financial,      0), Fixed,     true,   u"rate, per, nper, pv"},
    {u"ISREF",                   "D",                              packFunction(  105, Information,    0), Fixed,     true,   u"value"},
    {u"ISTEXT",                  "A",                              packFunction(  127, Information,    0), Fixed,     true,   u"value"},
    {u"JUSTIFY",                 "",                               packFunction(32860, MacroCommand,   0), Variable,  false,  u""},
    {u"KURT",                    "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(  322, Statistical,    0), Variable,  true,   u"number1, [number2, ...]"},
    {u"LABEL.PROPERTIES",        "bbb",                            packFunction(33204, MacroCommand,   0), Variable,  false,  u"[accel_text], [accel2_text], [3d_shading]"},
    {u"LARGE",                   "RN",                             packFunction(  325, Statistical,    0), Fixed,     true,   u"array, k"},
    {u"LAST.ERROR",              "",                               packFunction(  238, MacroCommand,   0), Fixed,     false,  u""},
    {u"LEFT",                    "Sn",                             packFunction(  115, Text,           0), Variable,  true,   u"text, [num_chars]"},
    {u"LEFTB",                   "Sn",                             packFunction(  208, Hidden,         0), Variable,  true,   u"text, [num_bytes]"},
    {u"LEGEND",                  "b",                              packFunction(32847, MacroCommand,   0), Variable,  false,  u"[logical]"},
    {u"LEN",                     "S",                              packFunction(   32, Text,           0), Fixed,     true,   u"text"},
    {u"LENB",                    "S",                              packFunction(  211, Hidden,         0), Fixed,     true,   u"text"},
    {u"LINE.PRINT",              "bbbbbbbbbbb",                    packFunction(33008, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"LINEST",                  "Qqll",                           packFunction(   49, Statistical,    0), Variable,  true,   u"known_y's, [known_x's], [const], [stats]"},
    {u"LINK.COMBO",              "b",                              packFunction(33208, MacroCommand,   0), Variable,  false,  u"[link_logical]"},
    {u"LINK.FORMAT",             "",                               packFunction(33192, MacroCommand,   0), Variable,  false,  u""},
    {u"LINKS",                   "bb",                             packFunction(  103, MacroCommand,   0), Variable,  false,  u"[document_text], [type_num]"},
    {u"LIST.NAMES",              "",                               packFunction(32911, MacroCommand,   0), Variable,  false,  u""},
    {u"LISTBOX.PROPERTIES",      "bbbbb",                          packFunction(33205, MacroCommand,   0), Variable,  false,  u"[range], [link], [drop_size], [multi_select], [3d_shading]"},
    {u"LN",                      "N",                              packFunction(   22, MathTrig,       0), Fixed,     true,   u"number"},
    {u"LOG",                     "Nn",                             packFunction(  109, MathTrig,       0), Variable,  true,   u"number, [base]"},
    {u"LOG10",                   "N",                              packFunction(   23, MathTrig,       0), Fixed,     true,   u"number"},
    {u"LOGEST",                  "Qqll",                           packFunction(   51, Statistical,    0), Variable,  true,   u"known_y's, [known_x's], [const], [stats]"},
    {u"LOGINV",                  "NNN",                            packFunction(  291, Statistical,    0), Fixed,     true,   u"probability, mean, standard_dev"},
    {u"LOGNORMDIST",             "NNN",                            packFunction(  290, Statistical,    0), Fixed,     true,   u"x, mean, standard_dev"},
    {u"LOOKUP",                  "AQq",                            packFunction(   28, Lookup,         0), Variable,  true,   u"lookup_value, lookup_vector, [result_vector]"},
    {u"LOWER",                   "S",                              packFunction(  112, Text,           0), Fixed,     true,   u"text"},
    {u"MACRO.OPTIONS",           "bbbbbbbbbb",                     packFunction(33150, MacroCommand,   0), Variable,  false,  u"[macro_name], [description], [menu_on], [menu_text], [shortcut_on], [shortcut_key], [function_category], [status_bar_text], [help_id], [help_file]"},
    {u"MAIL.ADD.MAILER",         "",                               packFunction(33141, MacroCommand,   0), Variable,  false,  u""},
    {u"MAIL.DELETE.MAILER",      "",                               packFunction(33142, MacroCommand,   0), Variable,  false,  u""},
    {u"MAIL.EDIT.MAILER",        "bbbbbb",                         packFunction(33238, MacroCommand,   0), Variable,  false,  u"[to_recipients], [cc_recipients], [bcc_recipients], [subject], [enclosures], [which_address]"},
    {u"MAIL.FORWARD",            "",                               packFunction(33145, MacroCommand,   0), Variable,  false,  u""},
    {u"MAIL.LOGOFF",             "",                               packFunction(33235, MacroCommand,   0), Variable,  false,  u""},
    {u"MAIL.LOGON",              "bbb",                            packFunction(33107, MacroCommand,   0), Variable,  false,  u"[name_text], [password_text], [download_logical]"},
    {u"MAIL.NEXT.LETTER",        "",                               packFunction(33146, MacroCommand,   0), Variable,  false,  u""},
    {u"MAIL.REPLY",              "",                               packFunction(33143, MacroCommand,   0), Variable,  false,  u""},
    {u"MAIL.REPLY.ALL",          "",                               packFunction(33144, MacroCommand,   0), Variable,  false,  u""},
    {u"MAIL.SEND.MAILER",        "bb",                             packFunction(33250, MacroCommand,   0), Variable,  false,  u"[arg1], [arg2]"},
    {u"MAIN.CHART",              "bbbbbbbbbb",                     packFunction(32853, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"MAIN.CHART.TYPE",         "b",                              packFunction(32953, MacroCommand,   0), Variable,  false,  u"[type_num]"},
    {u"MATCH",                   "AQn",                            packFunction(   64, Lookup,         0), Variable,  true,   u"lookup_value, lookup_array, [match_type]"},
    {u"MAX",                     "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(    7, Statistical,    0), Variable,  true,   u"number1, [number2, ...]"},
    {u"MAXA",                    "Bbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", packFunction(  362, Statistical,    0), Variable,  true,   u"value1, [value2, ...]"},
    {u"MDETERM",                 "Q",                              packFunction(  163, MathTrig,       0), Fixed,     true,   u"array"},
    {u"MEDIAN",                  "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(  227, Statistical,    0), Variable,  true,   u"number1, [number2, ...]"},
    {u"MENU.EDITOR",             "",                               packFunction(33090, MacroCommand,   0), Variable,  false,  u""},
    {u"MERGE.STYLES",            "b",                              packFunction(33018, MacroCommand,   0), Variable,  false,  u"[document_text]"},
    {u"MESSAGE",                 "bb",                             packFunction(32890, MacroCommand,   0), Variable,  false,  u"[logical], [text]"},
    {u"MID",                     "SNN",                            packFunction(   31, Text,           0), Fixed,     true,   u"text, start_num, num_chars"},
    {u"MIDB",                    "SNN",                            packFunction(  210, Hidden,         0), Fixed,     true,   u"text, start_num, num_bytes"},
    {u"MIN",                     "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(    6, Statistical,    0), Variable,  true,   u"number1, [number2, ...]"},
    {u"MINA",                    "Bbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", packFunction(  363, Statistical,    0), Variable,  true,   u"value1, [value2, ...]"},
    {u"MINUTE",                  "N",                              packFunction(   72, DateTime,       0), Fixed,     true,   u"serial_number"},
    {u"MINVERSE",                "Q",                              packFunction(  164, MathTrig,       0), Fixed,     true,   u"array"},
    {u"MIRR",                    "QNN",                            packFunction(   61, Financial,      9), Fixed,     true,   u"values, finance_rate, reinvest_rate"},
    {u"MMULT",                   "QQ",                             packFunction(  165, MathTrig,       0), Fixed,     true,   u"array1, array2"},
    {u"MOD",                     "NN",                             packFunction(   39, MathTrig,       0), Fixed,     true,   u"number, divisor"},
    {u"MODE",                    "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(  330, Statistical,    0), Variable,  true,   u"number1, [number2, ...]"},
    {u"MONTH",                   "N",                              packFunction(   68, DateTime,       0), Fixed,     true,   u"serial_number"},
    {u"MOVE",                    "bbb",                            packFunction(33030, MacroCommand,   0), Variable,  false,  u"[x_pos], [y_pos], [window_text]"},
    {u"MOVE.TOOL",               "bbbbbb",                         packFunction(33058, MacroCommand,   0), Variable,  false,  u"[from_bar_id], [from_bar_position], [to_bar_id], [to_bar_position], [copy], [width]"},
    {u"MOVIE.COMMAND",           "BBBb",                           packFunction(  334, MacroCommand,   0), Variable,  false,  u"arg1, arg2, arg3, [arg4]"},
    {u"N",                       "A",                              packFunction(  131, Information,    0), Fixed,     true,   u"value"},
    {u"NA",                      "",                               packFunction(   10, Information,    0), Fixed,     true,   u""},
    {u"NAMES",                   "bbb",                            packFunction(  122, MacroCommand,   0), Variable,  false,  u"[document_text], [type_num], [match_text]"},
    {u"NEGBINOMDIST",            "NNN",                            packFunction(  292, Statistical,    0), Fixed,     true,   u"number_f, number_s, probability_s"},
    {u"NEW",                     "bbb",                            packFunction(32887, MacroCommand,   0), Variable,  false,  u"[type_num], [xy_series], [add_logical]"},
    {u"NEW.WINDOW",              "",                               packFunction(32779, MacroCommand,   0), Variable,  false,  u""},
    {u"NEXT",                    "",                               packFunction(  174, MacroControl,   0), Fixed,     true,   u""},
    {u"NORMDIST",                "NNNL",                           packFunction(  293, Statistical,    0), Fixed,     true,   u"x, mean, standard_dev, cumulative"},
    {u"NORMINV",                 "NNN",                            packFunction(  295, Statistical,    0), Fixed,     true,   u"probability, mean, standard_dev"},
    {u"NORMSDIST",               "N",                              packFunction(  294, Statistical,    0), Fixed,     true,   u"z"},
    {u"NORMSINV",                "N",                              packFunction(  296, Statistical,    0), Fixed,     true,   u"probability"},
    {u"NOT",                     "L",                              packFunction(   38, Logical,        0), Fixed,     true,   u"logical"},
    {u"NOTE",                    "bbbb",                           packFunction(  192, MacroCommand,   0), Variable,  false,  u"[add_text], [cell_ref], [start_char], [num_chars]"},
    {u"NOW",                     "",                               packFunction(   74, DateTime,      22), Fixed,     true,   u""},
    {u"NPER",                    "NNNnn",                          packFunction(   58, Financial,      0), Variable,  true,   u"rate, pmt, pv, [fv], [type]"},
    {u"NPV",                     "NRrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(   11, Financial,      8), Variable,  true,   u"rate, value1, [value2, ...]"},
    {u"NUMBERSTRING",            "AA",                             packFunction(  353, Hidden,         0), Fixed,     true,   u"value, type"},
    {u"OBJECT.PROPERTIES",       "bb",                             packFunction(32975, MacroCommand,   0), Variable,  false,  u"[placement_type], [print_object]"},
    {u"OBJECT.PROTECTION",       "bb",                             packFunction(32982, MacroCommand,   0), Variable,  false,  u"[locked], [lock_text]"},
    {u"ODD",                     "N",                              packFunction(  298, MathTrig,       0), Fixed,     true,   u"number"},
    {u"OFFSET",                  "CNNnn",                          packFunction(   78, Lookup,         0), Variable,  true,   u"reference, rows, cols, [height], [width]"},
    {u"ON.DATA",                 "bb",                             packFunction(32907, MacroCommand,   0), Variable,  false,  u"[document_text], [macro_text]"},
    {u"ON.DOUBLECLICK",          "bb",                             packFunction(33047, MacroCommand,   0), Variable,  false,  u"[sheet_text], [macro_text]"},
    {u"ON.ENTRY",                "bb",                             packFunction(33048, MacroCommand,   0), Variable,  false,  u"[sheet_text], [macro_text]"},
    {u"ON.KEY",                  "bb",                             packFunction(32936, MacroCommand,   0), Variable,  false,  u"[key_text], [macro_text]"},
    {u"ON.RECALC",               "bb",                             packFunction(32995, MacroCommand,   0), Variable,  false,  u"[sheet_text], [macro_text]"},
    {u"ON.SHEET",                "ssl",                            packFunction(33239, MacroCommand,   0), Variable,  true,   u"[sheet_text], [macro_text], [activate_logical]"},
    {u"ON.TIME",                 "bbbb",                           packFunction(32916, MacroCommand,   0), Variable,  false,  u"[time], [macro_text], [tolerance], [insert_logical]"},
    {u"ON.WINDOW",               "bb",                             packFunction(32906, MacroCommand,   0), Variable,  false,  u"[window_text], [macro_text]"},
    {u"OPEN",                    "bbbbbbbbbbbbbbbbb",              packFunction(32769, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"OPEN.DIALOG",             "bbbb",                           packFunction(  355, MacroCommand,   0), Variable,  false,  u"[arg1], [arg2], [arg3], [arg4]"},
    {u"OPEN.LINKS",              "bbbbbbbbbbbbbbb",                packFunction(32770, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"OPEN.MAIL",               "bb",                             packFunction(32956, MacroCommand,   0), Variable,  false,  u"[subject], [comments]"},
    {u"OPEN.TEXT",               "bbbbbbbbbbbbbbbbb",              packFunction(33209, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"OPTIONS.CALCULATION",     "bbbbbbbbbb",                     packFunction(33086, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"OPTIONS.CHART",           "bbb",                            packFunction(33093, MacroCommand,   0), Variable,  false,  u"[display_blanks], [plot_visible], [size_with_window]"},
    {u"OPTIONS.EDIT",            "bbbbbbbbbbb",                    packFunction(33087, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"OPTIONS.GENERAL",         "bbbbbbbbbbbbbb",                 packFunction(33124, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"OPTIONS.LISTS.ADD",       "bb",                             packFunction(33226, MacroCommand,   0), Variable,  false,  u"[arg1], [arg2]"},
    {u"OPTIONS.LISTS.DELETE",    "b",                              packFunction(33227, MacroCommand,   0), Variable,  false,  u"[list_num]"},
    {u"OPTIONS.LISTS.GET",       "B",                              packFunction(  349, MacroCommand,   0), Fixed,     false,  u"list_num"},
    {u"OPTIONS.TRANSITION",      "bbbbb",                          packFunction(33123, MacroCommand,   0), Variable,  false,  u"[menu_key], [menu_key_action], [nav_keys], [trans_eval], [trans_entry]"},
    {u"OPTIONS.VIEW",            "bbbbbbbbbbbbbbbbbb",             packFunction(33088, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"OR",                      "Pppppppppppppppppppppppppppppp", packFunction(   37, Logical,        0), Variable,  true,   u"logical1, [logical2, ...]"},
    {u"OUTLINE",                 "bbbb",                           packFunction(32910, MacroCommand,   0), Variable,  false,  u"[auto_styles], [row_dir], [col_dir], [create_apply]"},
    {u"OVERLAY",                 "bbbbbbbbbbbb",                   packFunction(32854, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"PAGE.SETUP",              "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", packFunction(32775, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"PARSE",                   "bb",                             packFunction(32859, MacroCommand,   0), Variable,  false,  u"[parse_text], [destination_ref]"},
    {u"PASTE",                   "c",                              packFunction(32819, MacroCommand,   0), Variable,  true,   u"[to_reference]"},
    {u"PASTE.LINK",              "",                               packFunction(32892, MacroCommand,   0), Variable,  false,  u""},
    {u"PASTE.PICTURE",           "",                               packFunction(33020, MacroCommand,   0), Variable,  false,  u""},
    {u"PASTE.PICTURE.LINK",      "",                               packFunction(33021, MacroCommand,   0), Variable,  false,  u""},
    {u"PASTE.SPECIAL",           "nnll",                           packFunction(32821, MacroCommand,   0), Variable,  true,   u"[paste_num], [operation_num], [skip_blanks], [transpose]"},
    {u"PASTE.TOOL",              "bb",                             packFunction(33066, MacroCommand,   0), Variable,  false,  u"[bar_id], [position]"},
    {u"PATTERNS",                "bbbbbbbbbbbbb",                  packFunction(32852, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"PAUSE",                   "b",                              packFunction(  248, MacroControl,   0), Variable,  false,  u"[no_tool]"},
    {u"PEARSON",                 "QQ",                             packFunction(  312, Statistical,    0), Fixed,     true,   u"array1, array2"},
    {u"PERCENTILE",              "RN",                             packFunction(  328, Statistical,    0), Fixed,     true,   u"array, k"},
    {u"PERCENTRANK",             "RNn",                            packFunction(  329, Statistical,    0), Variable,  true,   u"array, x, [significance]"},
    {u"PERMUT",                  "NN",                             packFunction(  299, Statistical,    0), Fixed,     true,   u"number, number_chosen"},
    {u"PHONETIC",                "A",                              packFunction(  360, Hidden,         0), Fixed,     true,   u"reference"},
    {u"PI",                      "",                               packFunction(   19, MathTrig,       0), Fixed,     true,   u""},
    {u"PIVOT.ADD.DATA",          "bbbbbbbbb",                      packFunction(  338, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"PIVOT.ADD.FIELDS",        "bbbbb",                          packFunction(33084, MacroCommand,   0), Variable,  false,  u"[name], [row_array], [column_array], [page_array], [add_to_table]"},
    {u"PIVOT.FIELD",             "bbbb",                           packFunction(33082, MacroCommand,   0), Variable,  false,  u"[arg1], [arg2], [arg3], [arg4]"},
    {u"PIVOT.FIELD.GROUP",       "bbbb",                           packFunction(33201, MacroCommand,   0), Variable,  false,  u"[start], [end], [by], [periods]"},
    {u"PIVOT.FIELD.PROPERTIES",  "bbbbbbb",                        packFunction(33081, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"PIVOT.FIELD.UNGROUP",     "",                               packFunction(33202, MacroCommand,   0), Variable,  false,  u""},
    {u"PIVOT.ITEM",              "bbbb",                           packFunction(33083, MacroCommand,   0), Variable,  false,  u"[arg1], [arg2], [arg3], [arg4]"},
    {u"PIVOT.ITEM.PROPERTIES",   "bbbbbbb",                        packFunction(33120, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"PIVOT.REFRESH",           "b",                              packFunction(33207, MacroCommand,   0), Variable,  false,  u"[name]"},
    {u"PIVOT.SHOW.PAGES",        "bb",                             packFunction(33189, MacroCommand,   0), Variable,  false,  u"[name], [page_field]"},
    {u"PIVOT.TABLE.WIZARD",      "bbbbbbbbbbbbbbbb",               packFunction(33080, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"PLACEMENT",               "b",                              packFunction(33068, MacroCommand,   0), Variable,  false,  u"[placement_type]"},
    {u"PMT",                     "NNnnn",                          packFunction(   59, Financial,      8), Variable,  true,   u"rate, nper, [pv], [fv], [type]"},
    {u"POISSON",                 "NNL",                            packFunction(  300, Statistical,    0), Fixed,     true,   u"x, mean, cumulative"},
    {u"POKE",                    "BBB",                            packFunction(  177, MacroCommand,   0), Fixed,     false,  u"channel_num, item_text, data_ref"},
    {u"POWER",                   "NN",                             packFunction(  337, MathTrig,       0), Fixed,     true,   u"number, power"},
    {u"PPMT",                    "NNNNnn",                         packFunction(  168, Financial,      8), Variable,  true,   u"rate, per, nper, pv, [fv], [type]"},
    {u"PRECISION",               "b",                              packFunction(32797, MacroCommand,   0), Variable,  false,  u"[logical]"},
    {u"PREFERRED",               "",                               packFunction(32842, MacroCommand,   0), Variable,  false,  u""},
    {u"PRESS.TOOL",              "BBB",                            packFunction(  266, MacroCommand,   0), Fixed,     false,  u"bar_id, position, down"},
    {u"PRINT",                   "bbbbbbbbbbbbbbbbb",              packFunction(32776, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"PRINT.PREVIEW",           "b",                              packFunction(32990, MacroCommand,   0), Variable,  false,  u"[arg1]"},
    {u"PRINTER.SETUP",           "b",                              packFunction(32777, MacroCommand,   0), Variable,  false,  u"[printer_text]"},
    {u"PROB",                    "QQNn",                           packFunction(  317, Statistical,    0), Variable,  true,   u"x_range, prob_range, lower_limit, [upper_limit]"},
    {u"PRODUCT",                 "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(  183, MathTrig,       0), Variable,  true,   u"number1, [number2, ...]"},
    {u"PROMOTE",                 "b",                              packFunction(32970, MacroCommand,   0), Variable,  false,  u"[rowcol]"},
    {u"PROPER",                  "S",                              packFunction(  114, Text,           0), Fixed,     true,   u"text"},
    {u"PROTECT.DOCUMENT",        "llsll",                          packFunction(32796, MacroCommand,   0), Variable,  true,   u"[contents], [windows], [password], [objects], [scenarios]"},
    {u"PUSHBUTTON.PROPERTIES",   "bbbbbb",                         packFunction(33213, MacroCommand,   0), Variable,  false,  u"[default_logical], [cancel_logical], [dismiss_logical], [help_logical], [accel_text], [accel_text2]"},
    {u"PV",                      "NNnnn",                          packFunction(   56, Financial,      8), Variable,  true,   u"rate, nper, [pmt], [fv], [type]"},
    {u"QUARTILE",                "RN",                             packFunction(  327, Statistical,    0), Fixed,     true,   u"array, quart"},
    {u"QUIT",                    "",                               packFunction(32778, MacroCommand,   0), Variable,  false,  u""},
    {u"RADIANS",                 "N",                              packFunction(  342, MathTrig,       0), Fixed,     true,   u"angle"},
    {u"RAND",                    "",                               packFunction(   63, MathTrig,       0), Fixed,     true,   u""},
    {u"RANK",                    "NCn",                            packFunction(  216, Statistical,    0), Variable,  true,   u"number, ref, [order]"},
    {u"RATE",                    "NNNnnn",                         packFunction(   60, Financial,      9), Variable,  true,   u"nper, pmt, pv, [fv], [type], [guess]"},
    {u"REFTEXT",                 "Cl",                             packFunction(  146, MacroCommand,   0), Variable,  true,   u"reference, [a1]"},
    {u"REGISTER",                "Bbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", packFunction(  149, MacroCommand,   0), Variable,  false,  u"module_text, [procedure], [type_text], [function_text], [argument_text], [macro_type], [category], [shortcut_text], [help_topic], [function_help], [argument_help1, ...]"},
    {u"REGISTER.ID",             "BBb",                            packFunction(  267, MacroCommand,   0), Variable,  false,  u"module_text, procedure, [type_text]"},
    {u"RELREF",                  "BB",                             packFunction(   80, MacroCommand,   0), Fixed,     false,  u"reference, rel_to_ref"},
    {u"REMOVE.LIST.ITEM",        "bb",                             packFunction(33221, MacroCommand,   0), Variable,  false,  u"[index_num], [count_num]"},
    {u"REMOVE.PAGE.BREAK",       "bb",                             packFunction(32793, MacroCommand,   0), Variable,  false,  u"[arg1], [arg2]"},
    {u"RENAME.COMMAND",          "BBBBb",                          packFunction(  156, MacroCommand,   0), Variable,  false,  u"bar_num, menu, command, name_text, [subcommand]"},
    {u"RENAME.OBJECT",           "b",                              packFunction(33168, MacroCommand,   0), Variable,  false,  u"[new_name]"},
    {u"REPLACE",                 "SNNS",                           packFunction(  119, Text,           0), Fixed,     true,   u"old_text, start_num, num_chars, new_text"},
    {u"REPLACE.FONT",            "bbbbbbbbbb",                     packFunction(32902, MacroCommand,   0), Variable,  false,  u"[font_num], [name_text], [size_num], [bold], [italic], [underline], [strike], [color], [outline], [shadow]"},
    {u"REPLACEB",                "SNNS",                           packFunction(  207, Hidden,         0), Fixed,     true,   u"old_text, start_num, num_bytes, new_text"},
    {u"REPT",                    "SN",                             packFunction(   30, Text,           0), Fixed,     true,   u"text, number_times"},
    {u"REQUEST",                 "BB",                             packFunction(  176, MacroCommand,   0), Fixed,     false,  u"channel_num, item_text"},
    {u"RESET.TOOL",              "bb",                             packFunction(33064, MacroCommand,   0), Variable,  false,  u"[bar_id], [position]"},
    {u"RESET.TOOLBAR",           "B",                              packFunction(  256, MacroCommand,   0), Fixed,     false,  u"bar_id"},
    {u"RESTART",                 "b",                              packFunction(  180, MacroControl,   0), Variable,  false,  u"[level_num]"},
    {u"RESULT",                  "b",                              packFunction(   96, MacroControl,   0), Variable,  false,  u"[type_num]"},
    {u"RESUME",                  "b",                              packFunction(  251, MacroControl,   0), Variable,  false,  u"[type_num]"},
    {u"RETURN",                  "b",                              packFunction(   55, MacroControl,   0), Variable,  true,   u"[value]"},
    {u"RIGHT",                   "Sn",                             packFunction(  116, Text,           0), Variable,  true,   u"text, [num_chars]"},
    {u"RIGHTB",                  "Sn",                             packFunction(  209, Hidden,         0), Variable,  true,   u"text, [num_bytes]"},
    {u"ROMAN",                   "Na",                             packFunction(  354, MathTrig,       0), Variable,  true,   u"number, [form]"},
    {u"ROUND",                   "NN",                             packFunction(   27, MathTrig,       0), Fixed,     true,   u"number, num_digits"},
    {u"ROUNDDOWN",               "Nn",                             packFunction(  213, MathTrig,       0), Fixed,     true,   u"number, [num_digits]"},
    {u"ROUNDUP",                 "Nn",                             packFunction(  212, MathTrig,       0), Fixed,     true,   u"number, [num_digits]"},
    {u"ROUTE.DOCUMENT",          "",                               packFunction(33106, MacroCommand,   0), Variable,  false,  u""},
    {u"ROUTING.SLIP",            "bbbbbb",                         packFunction(33104, MacroCommand,   0), Variable,  false,  u"[recipients], [subject], [message], [route_num], [return_logical], [status_logical]"},
    {u"ROW",                     "c",                              packFunction(    8, Lookup,         0), Variable,  true,   u"[reference]"},
    {u"ROW.HEIGHT",              "ncln",                           packFunction(32895, MacroCommand,   0), Variable,  true,   u"[height_num], [reference], [standard_height], [type_num]"},
    {u"ROWS",                    "Q",                              packFunction(   76, Lookup,         0), Fixed,     true,   u"array"},
    {u"RSQ",                     "QQ",                             packFunction(  313, Statistical,    0), Fixed,     true,   u"known_y's, known_x's"},
    {u"RUN",                     "bb",                             packFunction(32785, MacroCommand,   0), Variable,  false,  u"[reference], [step]"},
    {u"SAVE",                    "",                               packFunction(32772, MacroCommand,   0), Variable,  false,  u""},
    {u"SAVE.AS",                 "bbbbbbb",                        packFunction(32773, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"SAVE.COPY.AS",            "b",                              packFunction(33224, MacroCommand,   0), Variable,  false,  u"[document_text]"},
    {u"SAVE.DIALOG",             "bbbbb",                          packFunction(  356, MacroCommand,   0), Variable,  false,  u"[arg1], [arg2], [arg3], [arg4], [arg5]"},
    {u"SAVE.TOOLBAR",            "bb",                             packFunction(  264, MacroCommand,   0), Variable,  false,  u"[bar_id], [filename]"},
    {u"SAVE.WORKBOOK",           "bbbbbb",                         packFunction(32913, MacroCommand,   0), Variable,  false,  u"[document_text], [type_num], [prot_pwd], [backup], [write_res_pwd], [read_only_rec]"},
    {u"SAVE.WORKSPACE",          "b",                              packFunction(33053, MacroCommand,   0), Variable,  false,  u"[name_text]"},
    {u"SCALE",                   "bbbbbbbbbb",                     packFunction(32855, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"SCENARIO.ADD",            "bbbbbb",                         packFunction(33075, MacroCommand,   0), Variable,  false,  u"[scen_name], [value_array], [changing_ref], [scen_comment], [locked], [hidden]"},
    {u"SCENARIO.CELLS",          "b",                              packFunction(33073, MacroCommand,   0), Variable,  false,  u"[changing_ref]"},
    {u"SCENARIO.DELETE",         "b",                              packFunction(33074, MacroCommand,   0), Variable,  false,  u"[scen_name]"},
    {u"SCENARIO.EDIT",           "bbbbbbb",                        packFunction(33076, MacroCommand,   0), Variable,  false,  u"[scen_name], [new_scenname], [value_array], [changing_ref], [scen_comment], [locked], [hidden]"},
    {u"SCENARIO.GET",            "Bb",                             packFunction(  348, MacroCommand,   0), Variable,  false,  u"arg1, [arg2]"},
    {u"SCENARIO.MERGE",          "b",                              packFunction(33241, MacroCommand,   0), Variable,  false,  u"[source_file]"},
    {u"SCENARIO.SHOW",           "b",                              packFunction(33077, MacroCommand,   0), Variable,  false,  u"[scen_name]"},
    {u"SCENARIO.SHOW.NEXT",      "",                               packFunction(33078, MacroCommand,   0), Variable,  false,  u""},
    {u"SCENARIO.SUMMARY",        "bb",                             packFunction(33079, MacroCommand,   0), Variable,  false,  u"[result_ref], [report_type]"},
    {u"SCROLLBAR.PROPERTIES",    "bbbbbbb",                        packFunction(33188, MacroCommand,   0), Variable,  false,  u"[value], [min], [max], [inc], [page], [link], [3d_shading]"},
    {u"SEARCH",                  "SSn",                            packFunction(   82, Text,           0), Variable,  true,   u"find_text, within_text, [start_num]"},
    {u"SEARCHB",                 "SSn",                            packFunction(  206, Hidden,         0), Variable,  true,   u"find_text, within_text, [start_num]"},
    {u"SECOND",                  "N",                              packFunction(   73, DateTime,       0), Fixed,     true,   u"serial_number"},
    {u"SELECT",                  "bb",                             packFunction(32877, MacroCommand,   0), Variable,  true,   u"[selection], [active_cell]"},
    {u"SELECT.ALL",              "",                               packFunction(33164, MacroCommand,   0), Variable,  false,  u""},
    {u"SELECT.CHART",            "",                               packFunction(32850, MacroCommand,   0), Variable,  false,  u""},
    {u"SELECT.END",              "N",                              packFunction(32955, MacroCommand,   0), Variable,  true,   u"direction_num"},
    {u"SELECT.LAST.CELL",        "",                               packFunction(32833, MacroCommand,   0), Variable,  true,   u""},
    {u"SELECT.LIST.ITEM",        "bb",                             packFunction(33222, MacroCommand,   0), Variable,  false,  u"[index_num], [selected]"},
    {u"SELECT.PLOT.AREA",        "",                               packFunction(32851, MacroCommand,   0), Variable,  false,  u""},
    {u"SELECT.SPECIAL",          "bbb",                            packFunction(32900, MacroCommand,   0), Variable,  false,  u"[type_num], [value_type], [levels]"},
    {u"SELECTION",               "",                               packFunction(   95, MacroCommand,   0), Fixed,     true,   u""},
    {u"SEND.KEYS",               "bb",                             packFunction(32899, MacroCommand,   0), Variable,  false,  u"[key_text], [wait_logical]"},
    {u"SEND.MAIL",               "bbb",                            packFunction(32957, MacroCommand,   0), Variable,  false,  u"[recipients], [subject], [return_receipt]"},
    {u"SEND.TO.BACK",            "",                               packFunction(32943, MacroCommand,   0), Variable,  false,  u""},
    {u"SERIES.AXES",             "b",                              packFunction(33228, MacroCommand,   0), Variable,  false,  u"[axis_num]"},
    {u"SERIES.ORDER",            "bbb",                            packFunction(33234, MacroCommand,   0), Variable,  false,  u"[chart_num], [old_series_num], [new_series_num]"},
    {u"SERIES.X",                "b",                              packFunction(33229, MacroCommand,   0), Variable,  false,  u"[x_ref]"},
    {u"SERIES.Y",                "bb",                             packFunction(33230, MacroCommand,   0), Variable,  false,  u"[name_ref], [y_ref]"},
    {u"SET.CONTROL.VALUE",       "b",                              packFunction(33223, MacroCommand,   0), Variable,  false,  u"[ref]"},
    {u"SET.CRITERIA",            "",                               packFunction(32806, MacroCommand,   0), Variable,  false,  u""},
    {u"SET.DATABASE",            "",                               packFunction(32805, MacroCommand,   0), Variable,  false,  u""},
    {u"SET.DIALOG.DEFAULT",      "b",                              packFunction(33214, MacroCommand,   0), Variable,  false,  u"[object_id_text]"},
    {u"SET.DIALOG.FOCUS",        "b",                              packFunction(33211, MacroCommand,   0), Variable,  false,  u"[object_id_text]"},
    {u"SET.EXTRACT",             "",                               packFunction(32984, MacroCommand,   0), Variable,  false,  u""},
    {u"SET.LIST.ITEM",           "bb",                             packFunction(33220, MacroCommand,   0), Variable,  false,  u"[text], [index_num]"},
    {u"SET.NAME",                "Sb",                             packFunction(   88, MacroControl,   0), Variable,  true,   u"name_text, [value]"},
    {u"SET.PAGE.BREAK",          "",                               packFunction(32792, MacroCommand,   0), Variable,  false,  u""},
    {u"SET.PREFERRED",           "b",                              packFunction(32845, MacroCommand,   0), Variable,  false,  u"[arg1]"},
    {u"SET.PRINT.AREA",          "b",                              packFunction(32790, MacroCommand,   0), Variable,  false,  u"[range]"},
    {u"SET.PRINT.TITLES",        "bb",                             packFunction(32791, MacroCommand,   0), Variable,  false,  u"[titles_for_cols_ref], [titles_for_rows_ref]"},
    {u"SET.UPDATE.STATUS",       "bbb",                            packFunction(32927, MacroCommand,   0), Variable,  false,  u"[link_text], [status], [type_of_link]"},
    {u"SET.VALUE",               "BA",                             packFunction(  108, MacroControl,   0), Fixed,     true,   u"reference, values"},
    {u"SHORT.MENUS",             "b",                              packFunction(32923, MacroCommand,   0), Variable,  false,  u"[logical]"},
    {u"SHOW.ACTIVE.CELL",        "",                               packFunction(32834, MacroCommand,   0), Variable,  false,  u""},
    {u"SHOW.BAR",                "b",                              packFunction(  157, MacroCommand,   0), Variable,  false,  u"[bar_num]"},
    {u"SHOW.CLIPBOARD",          "",                               packFunction(32889, MacroCommand,   0), Variable,  false,  u""},
    {u"SHOW.DETAIL",             "bbbb",                           packFunction(32972, MacroCommand,   0), Variable,  false,  u"[rowcol], [rowcol_num], [expand], [show_field]"},
    {u"SHOW.DIALOG",             "b",                              packFunction(33163, MacroCommand,   0), Variable,  false,  u"[dialog_ref]"},
    {u"SHOW.INFO",               "b",                              packFunction(32904, MacroCommand,   0), Variable,  false,  u"[logical]"},
    {u"SHOW.LEVELS",             "bb",                             packFunction(32992, MacroCommand,   0), Variable,  false,  u"[row_level], [col_level]"},
    {u"SHOW.TOOLBAR",            "bbbbbbbbbb",                     packFunction(32988, MacroCommand,   0), Variable,  false,  u"[bar_id], [visible], [dock], [x_pos], [y_pos], [width], [protect], [tool_tips], [large_buttons], [color_buttons]"},
    {u"SIGN",                    "N",                              packFunction(   26, MathTrig,       0), Fixed,     true,   u"number"},
    {u"SIN",                     "N",                              packFunction(   15, MathTrig,       0), Fixed,     true,   u"number"},
    {u"SINH",                    "N",                              packFunction(  229, MathTrig,       0), Fixed,     true,   u"number"},
    {u"SIZE",                    "bbb",                            packFunction(33029, MacroCommand,   0), Variable,  false,  u"[width], [height], [window_text]"},
    {u"SKEW",                    "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(  323, Statistical,    0), Variable,  true,   u"number1, [number2, ...]"},
    {u"SLN",                     "NNN",                            packFunction(  142, Financial,      8), Fixed,     true,   u"cost, salvage, life"},
    {u"SLOPE",                   "QQ",                             packFunction(  315, Statistical,    0), Fixed,     true,   u"known_y's, known_x's"},
    {u"SMALL",                   "RN",                             packFunction(  326, Statistical,    0), Fixed,     true,   u"array, k"},
    {u"SORT",                    "ncncncnnnl",                     packFunction(32807, MacroCommand,   0), Variable,  true,   u"[orientation], [key1], [order1], [key2], [order2], [key3], [order3], [header], [custom], [case]"},
    {u"SOUND.NOTE",              "bbb",                            packFunction(33033, MacroCommand,   0), Variable,  false,  u"[cell_ref], [file_text], [resource]"},
    {u"SOUND.PLAY",              "bbb",                            packFunction(33034, MacroCommand,   0), Variable,  false,  u"[cell_ref], [file_text], [resource]"},
    {u"SPELLING",                "bbbbbb",                         packFunction(33022, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"SPELLING.CHECK",          "Bbb",                            packFunction(  260, MacroCommand,   0), Variable,  false,  u"word_text, [custom_dic], [ignore_uppercase]"},
    {u"SPLIT",                   "bb",                             packFunction(32905, MacroCommand,   0), Variable,  false,  u"[col_split], [row_split]"},
    {u"SQRT",                    "N",                              packFunction(   20, MathTrig,       0), Fixed,     true,   u"number"},
    {u"STANDARD.FONT",           "bbbbbbbbb",                      packFunction(32958, MacroCommand,   0), Variable,  false,  u"[name_text], [size_num], [bold], [italic], [underline], [strike], [color], [outline], [shadow]"},
    {u"STANDARD.WIDTH",          "b",                              packFunction(33240, MacroCommand,   0), Variable,  false,  u"[standard_num]"},
    {u"STANDARDIZE",             "NNN",                            packFunction(  297, Statistical,    0), Fixed,     true,   u"x, mean, standard_dev"},
    {u"STDEV",                   "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(   12, Statistical,    0), Variable,  true,   u"number1, [number2, ...]"},
    {u"STDEVA",                  "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(  366, Statistical,    0), Variable,  true,   u"value1, [value2, ...]"},
    {u"STDEVP",                  "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(  193, Statistical,    0), Variable,  true,   u"number1, [number2, ...]"},
    {u"STDEVPA",                 "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(  364, Statistical,    0), Variable,  true,   u"value1, [value2, ...]"},
    {u"STEP",                    "",                               packFunction(   85, MacroControl,   0), Fixed,     false,  u""},
    {u"STEYX",                   "QQ",                             packFunction(  314, Statistical,    0), Fixed,     true,   u"known_y's, known_x's"},
    {u"STYLE",                   "bb",                             packFunction(32812, MacroCommand,   0), Variable,  false,  u"[bold], [italic]"},
    {u"SUBSCRIBE.TO",            "bb",                             packFunction(32986, MacroCommand,   0), Variable,  false,  u"[file_text], [format_num]"},
    {u"SUBSTITUTE",              "SSSn",                           packFunction(  120, Text,           0), Variable,  true,   u"text, old_text, new_text, [instance_num]"},
    {u"SUBTOTAL",                "NCcccccccccccccccccccccccccccc", packFunction(  344, MathTrig,       0), Variable,  true,   u"function_num, ref1, [ref2, ...]"},
    {u"SUBTOTAL.CREATE",         "bbbbbb",                         packFunction(33166, MacroCommand,   0), Variable,  false,  u"[at_change_in], [function_num], [total], [replace], [pagebreaks], [summary_below_data]"},
    {u"SUBTOTAL.REMOVE",         "",                               packFunction(33167, MacroCommand,   0), Variable,  false,  u""},
    {u"SUM",                     "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(    4, MathTrig,     255), Variable,  true,   u"number1, [number2, ...]"},
    {u"SUMIF",                   "CAc",                            packFunction(  345, MathTrig,       0), Variable,  true,   u"range, criteria, [sum_range]"},
    {u"SUMMARY.INFO",            "bbbbb",                          packFunction(33242, MacroCommand,   0), Variable,  false,  u"[title], [subject], [author], [keywords], [comments]"},
    {u"SUMPRODUCT",              "Qqqqqqqqqqqqqqqqqqqqqqqqqqqqqq", packFunction(  228, MathTrig,       0), Variable,  true,   u"array1, [array2, ...]"},
    {u"SUMSQ",                   "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(  321, MathTrig,       0), Variable,  true,   u"number1, [number2, ...]"},
    {u"SUMX2MY2",                "QQ",                             packFunction(  304, MathTrig,       0), Fixed,     true,   u"array_x, array_y"},
    {u"SUMX2PY2",                "QQ",                             packFunction(  305, MathTrig,       0), Fixed,     true,   u"array_x, array_y"},
    {u"SUMXMY2",                 "QQ",                             packFunction(  303, MathTrig,       0), Fixed,     true,   u"array_x, array_y"},
    {u"SYD",                     "NNNN",                           packFunction(  143, Financial,      8), Fixed,     true,   u"cost, salvage, life, per"},
    {u"T",                       "A",                              packFunction(  130, Text,           0), Fixed,     true,   u"value"},
    {u"TAB.ORDER?",              "",                               packFunction(33162, MacroCommand,   0), Variable,  false,  u""},
    {u"TABLE",                   "bb",                             packFunction(32809, MacroCommand,   0), Variable,  false,  u"[row_ref], [column_ref]"},
    {u"TAN",                     "N",                              packFunction(   17, MathTrig,       0), Fixed,     true,   u"number"},
    {u"TANH",                    "N",                              packFunction(  231, MathTrig,       0), Fixed,     true,   u"number"},
    {u"TDIST",                   "NNN",                            packFunction(  301, Statistical,    0), Fixed,     true,   u"x, deg_freedom, tails"},
    {u"TERMINATE",               "B",                              packFunction(  179, MacroCommand,   0), Fixed,     false,  u"channel_num"},
    {u"TEXT",                    "NS",                             packFunction(   48, Text,           0), Fixed,     true,   u"value, format_text"},
    {u"TEXT.BOX",                "Bbbb",                           packFunction(  243, MacroCommand,   0), Variable,  false,  u"add_text, [object_id_text], [start_num], [num_chars]"},
    {u"TEXT.TO.COLUMNS",         "bbbbbbbbbbbbbb",                 packFunction(33190, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"TEXTREF",                 "Sl",                             packFunction(  147, MacroCommand,   0), Variable,  true,   u"text, [a1]"},
    {u"TIME",                    "NNN",                            packFunction(   66, DateTime,      20), Fixed,     true,   u"hour, minute, second"},
    {u"TIMEVALUE",               "S",                              packFunction(  141, DateTime,       0), Fixed,     true,   u"time_text"},
    {u"TINV",                    "NN",                             packFunction(  332, Statistical,    0), Fixed,     true,   u"probability, deg_freedom"},
    {u"TODAY",                   "",                               packFunction(  221, DateTime,      14), Fixed,     true,   u""},
    {u"TRACER.CLEAR",            "",                               packFunction(33199, MacroCommand,   0), Variable,  false,  u""},
    {u"TRACER.DISPLAY",          "bb",                             packFunction(33193, MacroCommand,   0), Variable,  false,  u"[direction], [create]"},
    {u"TRACER.ERROR",            "",                               packFunction(33200, MacroCommand,   0), Variable,  false,  u""},
    {u"TRACER.NAVIGATE",         "bbb",                            packFunction(33198, MacroCommand,   0), Variable,  false,  u"[direction], [arrow_num], [ref_num]"},
    {u"TRANSPOSE",               "Q",                              packFunction(   83, Lookup,         0), Fixed,     true,   u"array"},
    {u"TREND",                   "Qqql",                           packFunction(   50, Statistical,    0), Variable,  true,   u"known_y's, [known_x's], [new_x's], [const]"},
    {u"TRIM",                    "S",                              packFunction(  118, Text,           0), Fixed,     true,   u"text"},
    {u"TRIMMEAN",                "RN",                             packFunction(  331, Statistical,    0), Fixed,     true,   u"array, percent"},
    {u"TRUE",                    "",                               packFunction(   34, Logical,        0), Fixed,     true,   u""},
    {u"TRUNC",                   "Nn",                             packFunction(  197, MathTrig,       0), Variable,  true,   u"number, [num_digits]"},
    {u"TTEST",                   "QQNN",                           packFunction(  316, Statistical,    0), Fixed,     true,   u"array1, array2, tails, type"},
    {u"TYPE",                    "T",                              packFunction(   86, Information,    0), Fixed,     true,   u"value"},
    {u"UNDO",                    "",                               packFunction(32816, MacroCommand,   0), Variable,  false,  u""},
    {u"UNGROUP",                 "",                               packFunction(32974, MacroCommand,   0), Variable,  false,  u""},
    {u"UNHIDE",                  "b",                              packFunction(32862, MacroCommand,   0), Variable,  false,  u"[window_text]"},
    {u"UNLOCKED.NEXT",           "",                               packFunction(32874, MacroCommand,   0), Variable,  false,  u""},
    {u"UNLOCKED.PREV",           "",                               packFunction(32875, MacroCommand,   0), Variable,  false,  u""},
    {u"UNREGISTER",              "B",                              packFunction(  201, MacroCommand,   0), Fixed,     false,  u"register_id"},
    {u"UPDATE.LINK",             "bb",                             packFunction(32969, MacroCommand,   0), Variable,  false,  u"[link_text], [type_of_link]"},
    {u"UPPER",                   "S",                              packFunction(  113, Text,           0), Fixed,     true,   u"text"},
    {u"USDOLLAR",                "Nn",                             packFunction(  204, Hidden,         0), Variable,  true,   u"number, [decimals]"},
    {u"VALUE",                   "N",                              packFunction(   33, Text,           0), Fixed,     true,   u"text"},
    {u"VAR",                     "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(   46, Statistical,    0), Variable,  true,   u"number1, [number2, ...]"},
    {u"VARA",                    "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(  367, Statistical,    0), Variable,  true,   u"value1, [value2, ...]"},
    {u"VARP",                    "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(  194, Statistical,    0), Variable,  true,   u"number1, [number2, ...]"},
    {u"VARPA",                   "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr", packFunction(  365, Statistical,    0), Variable,  true,   u"value1, [value2, ...]"},
    {u"VBA.INSERT.FILE",         "b",                              packFunction(33096, MacroCommand,   0), Variable,  false,  u"[filename_text]"},
    {u"VBA.MAKE.ADDIN",          "b",                              packFunction(33246, MacroCommand,   0), Variable,  false,  u"[filename]"},
    {u"VDB",                     "NNNNNnl",                        packFunction(  222, Financial,      8), Variable,  true,   u"cost, salvage, life, start_period, end_period, [factor], [no_switch]"},
    {u"VIEW.3D",                 "bbbbbb",                         packFunction(32965, MacroCommand,   0), Variable,  false,  u"[elevation], [perspective], [rotation], [axes], [height], [autoscale]"},
    {u"VIEW.DEFINE",             "bbb",                            packFunction(33262, MacroCommand,   0), Variable,  false,  u"[view_name], [print_settings_log], [row_col_settings_log]"},
    {u"VIEW.DELETE",             "b",                              packFunction(33263, MacroCommand,   0), Variable,  false,  u"[view_name]"},
    {u"VIEW.GET",                "Bb",                             packFunction(  357, MacroCommand,   0), Variable,  false,  u"type_num, [view_name]"},
    {u"VIEW.SHOW",               "b",                              packFunction(33261, MacroCommand,   0), Variable,  false,  u"[view_name]"},
    {u"VLINE",                   "b",                              packFunction(32880, MacroCommand,   0), Variable,  false,  u"[num_rows]"},
    {u"VLOOKUP",                 "AQNl",                           packFunction(  102, Lookup,         0), Variable,  true,   u"lookup_value, table_array, col_index_num, [range_lookup]"},
    {u"VOLATILE",                "b",                              packFunction(  237, MacroControl,   0), Variable,  false,  u"[logical]"},
    {u"VPAGE",                   "b",                              packFunction(32882, MacroCommand,   0), Variable,  false,  u"[num_windows]"},
    {u"VSCROLL",                 "bb",                             packFunction(32884, MacroCommand,   0), Variable,  false,  u"[position], [row_logical]"},
    {u"WAIT",                    "n",                              packFunction(32917, MacroControl,   0), Variable,  true,   u"[serial_number]"},
    {u"WEEKDAY",                 "Nn",                             packFunction(   70, DateTime,       0), Variable,  true,   u"serial_number, [return_type]"},
    {u"WEIBULL",                 "NNNL",                           packFunction(  302, Statistical,    0), Fixed,     true,   u"x, alpha, beta, cumulative"},
    {u"WHILE",                   "L",                              packFunction(  172, MacroControl,   0), Fixed,     true,   u"logical_test"},
    {u"WINDOW.MAXIMIZE",         "b",                              packFunction(32932, MacroCommand,   0), Variable,  false,  u"[window_text]"},
    {u"WINDOW.MINIMIZE",         "b",                              packFunction(33028, MacroCommand,   0), Variable,  false,  u"[window_text]"},
    {u"WINDOW.MOVE",             "bbb",                            packFunction(32782, MacroCommand,   0), Variable,  false,  u"[x_pos], [y_pos], [window_text]"},
    {u"WINDOW.RESTORE",          "b",                              packFunction(32931, MacroCommand,   0), Variable,  false,  u"[window_text]"},
    {u"WINDOW.SIZE",             "bbb",                            packFunction(32781, MacroCommand,   0), Variable,  false,  u"[width], [height], [window_text]"},
    {u"WINDOW.TITLE",            "b",                              packFunction(  263, MacroCommand,   0), Variable,  false,  u"[text]"},
    {u"WINDOWS",                 "bb",                             packFunction(   91, MacroCommand,   0), Variable,  false,  u"[type_num], [match_text]"},
    {u"WORKBOOK.ACTIVATE",       "S",                              packFunction(33060, MacroCommand,   0), Variable,  true,   u"sheet_name"},
    {u"WORKBOOK.ADD",            "bbb",                            packFunction(33049, MacroCommand,   0), Variable,  false,  u"[name_array], [dest_book], [position_num]"},
    {u"WORKBOOK.COPY",           "bbb",                            packFunction(33051, MacroCommand,   0), Variable,  false,  u"[name_array], [dest_book], [position_num]"},
    {u"WORKBOOK.DELETE",         "s",                              packFunction(33153, MacroCommand,   0), Variable,  true,   u"[sheet_text]"},
    {u"WORKBOOK.HIDE",           "bb",                             packFunction(33151, MacroCommand,   0), Variable,  false,  u"[sheet_text], [very_hidden]"},
    {u"WORKBOOK.INSERT",         "n",                              packFunction(33122, MacroCommand,   0), Variable,  true,   u"[type_num]"},
    {u"WORKBOOK.MOVE",           "bbb",                            packFunction(33050, MacroCommand,   0), Variable,  false,  u"[name_array], [dest_book], [position_num]"},
    {u"WORKBOOK.NAME",           "SS",                             packFunction(33154, MacroCommand,   0), Variable,  true,   u"oldname_text, newname_text"},
    {u"WORKBOOK.NEW",            "bbb",                            packFunction(33070, MacroCommand,   0), Variable,  false,  u"[type_num], [name_text], [insert_num]"},
    {u"WORKBOOK.NEXT",           "",                               packFunction(33181, MacroCommand,   0), Variable,  false,  u""},
    {u"WORKBOOK.OPTIONS",        "bbb",                            packFunction(33052, MacroCommand,   0), Variable,  false,  u"[sheet_name], [bound_logical], [new_name]"},
    {u"WORKBOOK.PREV",           "",                               packFunction(33182, MacroCommand,   0), Variable,  false,  u""},
    {u"WORKBOOK.PROTECT",        "bbb",                            packFunction(33185, MacroCommand,   0), Variable,  false,  u"[structure], [windows], [password]"},
    {u"WORKBOOK.SCROLL",         "bb",                             packFunction(33180, MacroCommand,   0), Variable,  false,  u"[num_sheets], [first_logical]"},
    {u"WORKBOOK.SELECT",         "bbb",                            packFunction(33059, MacroCommand,   0), Variable,  false,  u"[name_array], [active_name], [replace]"},
    {u"WORKBOOK.TAB.SPLIT",      "b",                              packFunction(33183, MacroCommand,   0), Variable,  false,  u"[ratio_num]"},
    {u"WORKBOOK.UNHIDE",         "b",                              packFunction(33152, MacroCommand,   0), Variable,  false,  u"[sheet_text]"},
    {u"WORKGROUP",               "b",                              packFunction(32967, MacroCommand,   0), Variable,  false,  u"[name_array]"},
    {u"WORKSPACE",               "bbbbbbbbbbbbbbbb",               packFunction(32863, MacroCommand,   0), Variable,  false,  u"[arg1, ...]"},
    {u"YEAR",                    "N",                              packFunction(   69, DateTime,       0), Fixed,     true,   u"serial_number"},
    {u"ZOOM",                    "b",                              packFunction(33024, MacroCommand,   0), Variable,  false,  u"[magnification]"},
    {u"ZTEST",                   "QNn",                            packFunction(  324, Statistical,    0), Variable,  true,   u"array, x, [sigma]"},
};

constexpr FunctionEntry kAddInFunctions[] = {
//   name                        argument types                    category (add-in)                       form       computes template
    {u"ACCRINT",                 "NNNNNNn",                        addIn(Financial),                       AddIn,     true,   u"issue, first_interest, settlement, rate, par, frequency, [basis]"},
    {u"ACCRINTM",                "NNNnn",                          addIn(Financial),                       AddIn,     true,   u"issue, settlement, rate, [par], [basis]"},
    {u"AMORDEGRC",               "NNNNNNn",                        addIn(Financial),                       AddIn,     true,   u"cost, date_purchased, first_period, salvage, period, rate, [basis]"},
    {u"AMORLINC",                "NNNNNNn",                        addIn(Financial),                       AddIn,     true,   u"cost, date_purchased, first_period, salvage, period, rate, [basis]"},
    {u"ANOVA1",                  "Bbbbb",                          addIn(Hidden),                          AddIn,     false,  u"inprng, [outrng], [grouped], [labels], [alpha]"},
    {u"ANOVA2",                  "Bbbb",                           addIn(Hidden),                          AddIn,     false,  u"inprng, [outrng], [sample_rows], [alpha]"},
    {u"ANOVA3",                  "Bbbb",                           addIn(Hidden),                          AddIn,     false,  u"inprng, [outrng], [labels], [alpha]"},
    {u"BESSELI",                 "NN",                             addIn(Engineering),                     AddIn,     true,   u"x, n"},
    {u"BESSELJ",                 "NN",                             addIn(Engineering),                     AddIn,     true,   u"x, n"},
    {u"BESSELK",                 "NN",                             addIn(Engineering),                     AddIn,     true,   u"x, n"},
    {u"BESSELY",                 "NN",                             addIn(Engineering),                     AddIn,     true,   u"x, n"},
    {u"BIN2DEC",                 "N",                              addIn(Engineering),                     AddIn,     true,   u"number"},
    {u"BIN2HEX",                 "Nn",                             addIn(Engineering),                     AddIn,     true,   u"number, [places]"},
    {u"BIN2OCT",                 "Nn",                             addIn(Engineering),                     AddIn,     true,   u"number, [places]"},
    {u"COMPLEX",                 "NNs",                            addIn(Engineering),                     AddIn,     true,   u"real_num, i_num, [suffix]"},
    {u"CONVERT",                 "NSS",                            addIn(Engineering),                     AddIn,     true,   u"number, from_unit, to_unit"},
    {u"COUPDAYBS",               "NNNn",                           addIn(Financial),                       AddIn,     true,   u"settlement, maturity, frequency, [basis]"},
    {u"COUPDAYS",                "NNNn",                           addIn(Financial),                       AddIn,     true,   u"settlement, maturity, frequency, [basis]"},
    {u"COUPDAYSNC",              "NNNn",                           addIn(Financial),                       AddIn,     true,   u"settlement, maturity, frequency, [basis]"},
    {u"COUPNCD",                 "NNNn",                           addIn(Financial),                       AddIn,     true,   u"settlement, maturity, frequency, [basis]"},
    {u"COUPNUM",                 "NNNn",                           addIn(Financial),                       AddIn,     true,   u"settlement, maturity, frequency, [basis]"},
    {u"COUPPCD",                 "NNNn",                           addIn(Financial),                       AddIn,     true,   u"settlement, maturity, frequency, [basis]"},
    {u"CUMIPMT",                 "NNNNNN",                         addIn(Financial),                       AddIn,     true,   u"rate, nper, pv, start_period, end_period, type"},
    {u"CUMPRINC",                "NNNNNN",                         addIn(Financial),                       AddIn,     true,   u"rate, nper, pv, start_period, end_period, type"},
    {u"DEC2BIN",                 "Nn",                             addIn(Engineering),                     AddIn,     true,   u"number, [places]"},
    {u"DEC2HEX",                 "Nn",                             addIn(Engineering),                     AddIn,     true,   u"number, [places]"},
    {u"DEC2OCT",                 "Nn",                             addIn(Engineering),                     AddIn,     true,   u"number, [places]"},
    {u"DELTA",                   "Nn",                             addIn(Engineering),                     AddIn,     true,   u"number1, [number2]"},
    {u"DESCR",                   "Bbbbbbbb",                       addIn(Hidden),                          AddIn,     false,  u"inprng, [outrng], [grouped], [labels], [summary], [ds_large], [ds_small], [confid]"},
    {u"DISC",                    "NNNNn",                          addIn(Financial),                       AddIn,     true,   u"settlement, maturity, pr, redemption, [basis]"},
    {u"DOLLARDE",                "NN",                             addIn(Financial),                       AddIn,     true,   u"fractional_dollar, fraction"},
    {u"DOLLARFR",                "NN",                             addIn(Financial),                       AddIn,     true,   u"decimal_dollar, fraction"},
    {u"DURATION",                "NNNNNn",                         addIn(Financial),                       AddIn,     true,   u"settlement, maturity, coupon, yld, frequency, [basis]"},
    {u"EDATE",                   "NN",                             addIn(DateTime),                        AddIn,     true,   u"start_date, months"},
    {u"EFFECT",                  "NN",                             addIn(Financial),                       AddIn,     true,   u"nominal_rate, npery"},
    {u"EOMONTH",                 "NN",                             addIn(DateTime),                        AddIn,     true,   u"start_date, months"},
    {u"ERF",                     "Nn",                             addIn(Engineering),                     AddIn,     true,   u"lower_limit, [upper_limit]"},
    {u"ERFC",                    "N",                              addIn(Engineering),                     AddIn,     true,   u"x"},
    {u"EXPON",                   "Bbbbbb",                         addIn(Hidden),                          AddIn,     false,  u"inprng, [outrng], [damp], [stderrs], [chart], [labels]"}, // type string corrected from "Bbbbb" (recognised_only.tsv) to the ToolPak's 6 arguments
    {u"FACTDOUBLE",              "N",                              addIn(Engineering),                     AddIn,     true,   u"number"},
    {u"FOURIER",                 "Bbbb",                           addIn(Hidden),                          AddIn,     false,  u"inprng, [outrng], [inverse], [labels]"},
    {u"FTESTV",                  "BBbbb",                          addIn(Hidden),                          AddIn,     false,  u"inprng1, inprng2, [outrng], [labels], [alpha]"}, // type string corrected from "BBbb" (recognised_only.tsv) to the ToolPak's 5 arguments
    {u"FVSCHEDULE",              "NU",                             addIn(Financial),                       AddIn,     true,   u"principal, schedule"},
    {u"GCD",                     "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrr",  addIn(MathTrig),                        AddIn,     true,   u"number1, [number2, ...]"},
    {u"GESTEP",                  "Nn",                             addIn(Engineering),                     AddIn,     true,   u"number, [step]"},
    {u"HEX2BIN",                 "Sn",                             addIn(Engineering),                     AddIn,     true,   u"number, [places]"},
    {u"HEX2DEC",                 "S",                              addIn(Engineering),                     AddIn,     true,   u"number"},
    {u"HEX2OCT",                 "Sn",                             addIn(Engineering),                     AddIn,     true,   u"number, [places]"},
    {u"HISTOGRAM",               "Bbbbbbb",                        addIn(Hidden),                          AddIn,     false,  u"inprng, [outrng], [binrng], [pareto], [chartc], [chart], [labels]"},
    {u"IMABS",                   "S",                              addIn(Engineering),                     AddIn,     true,   u"inumber"},
    {u"IMAGINARY",               "S",                              addIn(Engineering),                     AddIn,     true,   u"inumber"},
    {u"IMARGUMENT",              "S",                              addIn(Engineering),                     AddIn,     true,   u"inumber"},
    {u"IMCONJUGATE",             "S",                              addIn(Engineering),                     AddIn,     true,   u"inumber"},
    {u"IMCOS",                   "S",                              addIn(Engineering),                     AddIn,     true,   u"inumber"},
    {u"IMDIV",                   "SS",                             addIn(Engineering),                     AddIn,     true,   u"inumber1, inumber2"},
    {u"IMEXP",                   "S",                              addIn(Engineering),                     AddIn,     true,   u"inumber"},
    {u"IMLN",                    "S",                              addIn(Engineering),                     AddIn,     true,   u"inumber"},
    {u"IMLOG10",                 "S",                              addIn(Engineering),                     AddIn,     true,   u"inumber"},
    {u"IMLOG2",                  "S",                              addIn(Engineering),                     AddIn,     true,   u"inumber"},
    {u"IMPOWER",                 "SN",                             addIn(Engineering),                     AddIn,     true,   u"inumber, number"},
    {u"IMPRODUCT",               "Bbbbbbbbbbbbbbbbbbbbbbbbbbbbb",  addIn(Engineering),                     AddIn,     true,   u"inumber1, [inumber2, ...]"},
    {u"IMREAL",                  "S",                              addIn(Engineering),                     AddIn,     true,   u"inumber"},
    {u"IMSIN",                   "S",                              addIn(Engineering),                     AddIn,     true,   u"inumber"},
    {u"IMSQRT",                  "S",                              addIn(Engineering),                     AddIn,     true,   u"inumber"},
    {u"IMSUB",                   "SS",                             addIn(Engineering),                     AddIn,     true,   u"inumber1, inumber2"},
    {u"IMSUM",                   "Bbbbbbbbbbbbbbbbbbbbbbbbbbbbb",  addIn(Engineering),                     AddIn,     true,   u"inumber1, [inumber2, ...]"},
    {u"INTRATE",                 "NNNNn",                          addIn(Financial),                       AddIn,     true,   u"settlement, maturity, investment, redemption, [basis]"},
    {u"ISEVEN",                  "N",                              addIn(Information),                     AddIn,     true,   u"number"},
    {u"ISODD",                   "N",                              addIn(Information),                     AddIn,     true,   u"number"},
    {u"LCM",                     "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrr",  addIn(MathTrig),                        AddIn,     true,   u"number1, [number2, ...]"},
    {u"MCORREL",                 "Bbbb",                           addIn(Hidden),                          AddIn,     false,  u"inprng, [outrng], [grouped], [labels]"},
    {u"MCOVAR",                  "Bbbb",                           addIn(Hidden),                          AddIn,     false,  u"inprng, [outrng], [grouped], [labels]"},
    {u"MDURATION",               "NNNNNn",                         addIn(Financial),                       AddIn,     true,   u"settlement, maturity, coupon, yld, frequency, [basis]"},
    {u"MOVEAVG",                 "Bbbbbb",                         addIn(Hidden),                          AddIn,     false,  u"inprng, [outrng], [interval], [stderrs], [chart], [labels]"},
    {u"MROUND",                  "NN",                             addIn(MathTrig),                        AddIn,     true,   u"number, multiple"},
    {u"MULTINOMIAL",             "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrr",  addIn(MathTrig),                        AddIn,     true,   u"number1, [number2, ...]"},
    {u"NETWORKDAYS",             "NNr",                            addIn(DateTime),                        AddIn,     true,   u"start_date, end_date, [holidays]"},
    {u"NOMINAL",                 "NN",                             addIn(Financial),                       AddIn,     true,   u"effect_rate, npery"},
    {u"OCT2BIN",                 "Nn",                             addIn(Engineering),                     AddIn,     true,   u"number, [places]"},
    {u"OCT2DEC",                 "N",                              addIn(Engineering),                     AddIn,     true,   u"number"},
    {u"OCT2HEX",                 "Nn",                             addIn(Engineering),                     AddIn,     true,   u"number, [places]"},
    {u"ODDFPRICE",               "NNNNNNNNn",                      addIn(Financial),                       AddIn,     true,   u"settlement, maturity, issue, first_coupon, rate, yld, redemption, frequency, [basis]"},
    {u"ODDFYIELD",               "NNNNNNNNn",                      addIn(Financial),                       AddIn,     true,   u"settlement, maturity, issue, first_coupon, rate, pr, redemption, frequency, [basis]"},
    {u"ODDLPRICE",               "NNNNNNNn",                       addIn(Financial),                       AddIn,     true,   u"settlement, maturity, last_interest, rate, yld, redemption, frequency, [basis]"},
    {u"ODDLYIELD",               "NNNNNNNn",                       addIn(Financial),                       AddIn,     true,   u"settlement, maturity, last_interest, rate, pr, redemption, frequency, [basis]"},
    {u"PRICE",                   "NNNNNNn",                        addIn(Financial),                       AddIn,     true,   u"settlement, maturity, rate, yld, redemption, frequency, [basis]"},
    {u"PRICEDISC",               "NNNNn",                          addIn(Financial),                       AddIn,     true,   u"settlement, maturity, discount, redemption, [basis]"},
    {u"PRICEMAT",                "NNNNNn",                         addIn(Financial),                       AddIn,     true,   u"settlement, maturity, issue, rate, yld, [basis]"},
    {u"PTTESTM",                 "BBbbbb",                         addIn(Hidden),                          AddIn,     false,  u"inprng1, inprng2, [outrng], [labels], [alpha], [difference]"},
    {u"PTTESTV",                 "BBbbbb",                         addIn(Hidden),                          AddIn,     false,  u"inprng1, inprng2, [outrng], [labels], [alpha], [difference]"}, // type string corrected from "BBbbb" (recognised_only.tsv) to the ToolPak's 6 arguments
    {u"QUOTIENT",                "NN",                             addIn(MathTrig),                        AddIn,     true,   u"numerator, denominator"},
    {u"RANDBETWEEN",             "NN",                             addIn(MathTrig),                        AddIn,     true,   u"bottom, top"},
    {u"RANDOM",                  "bbbbbbbbbb",                     addIn(Hidden),                          AddIn,     false,  u"[outrng], [variables], [points], [distribution], [seed], [randarg1], [randarg2], [randarg3], [randarg4], [randarg5]"},
    {u"RANKPERC",                "Bbbb",                           addIn(Hidden),                          AddIn,     false,  u"inprng, [outrng], [grouped], [labels]"},
    {u"RECEIVED",                "NNNNn",                          addIn(Financial),                       AddIn,     true,   u"settlement, maturity, investment, discount, [basis]"},
    {u"REGRESS",                 "BBbbbbbbbbbbb",                  addIn(Hidden),                          AddIn,     false,  u"inpyrng, inpxrng, [constant], [labels], [confid], [soutrng], [residuals], [sresiduals], [rplots], [lplots], [routrng], [nplots], [poutrng]"},
    {u"SAMPLE",                  "Bbbbb",                          addIn(Hidden),                          AddIn,     false,  u"inprng, [outrng], [method], [rate], [labels]"},
    {u"SERIESSUM",               "NNNQ",                           addIn(MathTrig),                        AddIn,     true,   u"x, n, m, coefficients"},
    {u"SQRTPI",                  "N",                              addIn(MathTrig),                        AddIn,     true,   u"number"},
    {u"TBILLEQ",                 "NNN",                            addIn(Financial),                       AddIn,     true,   u"settlement, maturity, discount"},
    {u"TBILLPRICE",              "NNN",                            addIn(Financial),                       AddIn,     true,   u"settlement, maturity, discount"},
    {u"TBILLYIELD",              "NNN",                            addIn(Financial),                       AddIn,     true,   u"settlement, maturity, pr"},
    {u"TTESTM",                  "BBbbbb",                         addIn(Hidden),                          AddIn,     false,  u"inprng1, inprng2, [outrng], [labels], [alpha], [difference]"},
    {u"WEEKNUM",                 "Nn",                             addIn(DateTime),                        AddIn,     true,   u"serial_number, [return_type]"},
    {u"WORKDAY",                 "NNr",                            addIn(DateTime),                        AddIn,     true,   u"start_date, days, [holidays]"},
    {u"XIRR",                    "QQn",                            addIn(Financial),                       AddIn,     true,   u"values, dates, [guess]"},
    {u"XNPV",                    "NQQ",                            addIn(Financial),                       AddIn,     true,   u"rate, values, dates"},
    {u"YEARFRAC",                "NNn",                            addIn(DateTime),                        AddIn,     true,   u"start_date, end_date, [basis]"},
    {u"YIELD",                   "NNNNNNn",                        addIn(Financial),                       AddIn,     true,   u"settlement, maturity, rate, pr, redemption, frequency, [basis]"},
    {u"YIELDDISC",               "NNNNn",                          addIn(Financial),                       AddIn,     true,   u"settlement, maturity, pr, redemption, [basis]"},
    {u"YIELDMAT",                "NNNNNn",                         addIn(Financial),                       AddIn,     true,   u"settlement, maturity, issue, rate, pr, [basis]"},
    {u"ZTESTM",                  "BBbbbbbb",                       addIn(Hidden),                          AddIn,     false,  u"inprng1, inprng2, [outrng], [labels], [alpha], [difference], [var1], [var2]"},
};

// Functions of later versions, which their files store as calls of the
// names "_xlfn.<name>". Criteria functions take up to 14 or 15 pairs, so
// that their positions fit the 30 an argument list may have.
constexpr FunctionEntry kLaterFunctions[] = {
//   name                        argument types                      category                           form       computes template
    {u"AVERAGEIF",               "CAc",                              later(Statistical),                 Prefixed,  true,   u"range, criteria, [average_range]"},
    {u"AVERAGEIFS",              "CCAcacacacacacacacacacacacaca",    later(Statistical),                 Prefixed,  true,   u"average_range, criteria_range1, criteria1, [criteria_range2, criteria2, ...]"},
    {u"BINOM.DIST",              "NNNL",                             later(Statistical),                 Prefixed,  true,   u"number_s, trials, probability_s, cumulative"},
    {u"CHISQ.DIST.RT",           "NN",                               later(Statistical),                 Prefixed,  true,   u"x, deg_freedom"},
    {u"CONCAT",                  "Bbbbbbbbbbbbbbbbbbbbbbbbbbbbbb",   later(Text),                        Prefixed,  true,   u"text1, [text2, ...]"},
    {u"CONFIDENCE.NORM",         "NNN",                              later(Statistical),                 Prefixed,  true,   u"alpha, standard_dev, size"},
    {u"COUNTIFS",                "CAcacacacacacacacacacacacacaca",   later(Statistical),                 Prefixed,  true,   u"criteria_range1, criteria1, [criteria_range2, criteria2, ...]"},
    {u"COVARIANCE.P",            "QQ",                               later(Statistical),                 Prefixed,  true,   u"array1, array2"},
    {u"DAYS",                    "NN",                               later(DateTime),                    Prefixed,  true,   u"end_date, start_date"},
    {u"EXPON.DIST",              "NNL",                              later(Statistical),                 Prefixed,  true,   u"x, lambda, cumulative"},
    {u"F.DIST.RT",               "NNN",                              later(Statistical),                 Prefixed,  true,   u"x, deg_freedom1, deg_freedom2"},
    {u"GAMMA.DIST",              "NNNL",                             later(Statistical),                 Prefixed,  true,   u"x, alpha, beta, cumulative"},
    {u"IFERROR",                 "AA",                               later(Logical),                     Prefixed,  true,   u"value, value_if_error"},
    {u"IFNA",                    "AA",                               later(Logical),                     Prefixed,  true,   u"value, value_if_na"},
    {u"IFS",                     "AAaaaaaaaaaaaaaaaaaaaaaaaaaaaa",   later(Logical),                     Prefixed,  true,   u"logical_test1, value_if_true1, [logical_test2, value_if_true2, ...]"},
    {u"ISOWEEKNUM",              "N",                                later(DateTime),                    Prefixed,  true,   u"date"},
    {u"LOGNORM.INV",             "NNN",                              later(Statistical),                 Prefixed,  true,   u"probability, mean, standard_dev"},
    {u"MAXIFS",                  "CCAcacacacacacacacacacacacaca",    later(Statistical),                 Prefixed,  true,   u"max_range, criteria_range1, criteria1, [criteria_range2, criteria2, ...]"},
    {u"MINIFS",                  "CCAcacacacacacacacacacacacaca",    later(Statistical),                 Prefixed,  true,   u"min_range, criteria_range1, criteria1, [criteria_range2, criteria2, ...]"},
    {u"MODE.SNGL",               "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr",   later(Statistical),                 Prefixed,  true,   u"number1, [number2, ...]"},
    {u"NORM.DIST",               "NNNL",                             later(Statistical),                 Prefixed,  true,   u"x, mean, standard_dev, cumulative"},
    {u"NORM.INV",                "NNN",                              later(Statistical),                 Prefixed,  true,   u"probability, mean, standard_dev"},
    {u"NORM.S.DIST",             "NL",                               later(Statistical),                 Prefixed,  true,   u"z, cumulative"},
    {u"NORM.S.INV",              "N",                                later(Statistical),                 Prefixed,  true,   u"probability"},
    {u"PERCENTILE.INC",          "RN",                               later(Statistical),                 Prefixed,  true,   u"array, k"},
    {u"POISSON.DIST",            "NNL",                              later(Statistical),                 Prefixed,  true,   u"x, mean, cumulative"},
    {u"QUARTILE.INC",            "RN",                               later(Statistical),                 Prefixed,  true,   u"array, quart"},
    {u"RANK.EQ",                 "NCn",                              later(Statistical),                 Prefixed,  true,   u"number, ref, [order]"},
    {u"STDEV.P",                 "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr",   later(Statistical),                 Prefixed,  true,   u"number1, [number2, ...]"},
    {u"STDEV.S",                 "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr",   later(Statistical),                 Prefixed,  true,   u"number1, [number2, ...]"},
    {u"SUMIFS",                  "CCAcacacacacacacacacacacacaca",    later(MathTrig),                    Prefixed,  true,   u"sum_range, criteria_range1, criteria1, [criteria_range2, criteria2, ...]"},
    {u"SWITCH",                  "AAAaaaaaaaaaaaaaaaaaaaaaaaaaaa",   later(Logical),                     Prefixed,  true,   u"expression, value1, result1, [default_or_value2, result2, ...]"},
    {u"T.DIST.2T",               "NN",                               later(Statistical),                 Prefixed,  true,   u"x, deg_freedom"},
    {u"T.DIST.RT",               "NN",                               later(Statistical),                 Prefixed,  true,   u"x, deg_freedom"},
    {u"TEXTJOIN",                "SLBbbbbbbbbbbbbbbbbbbbbbbbbbbb",   later(Text),                        Prefixed,  true,   u"delimiter, ignore_empty, text1, [text2, ...]"},
    {u"VAR.P",                   "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr",   later(Statistical),                 Prefixed,  true,   u"number1, [number2, ...]"},
    {u"VAR.S",                   "Rrrrrrrrrrrrrrrrrrrrrrrrrrrrrr",   later(Statistical),                 Prefixed,  true,   u"number1, [number2, ...]"},
    {u"WEIBULL.DIST",            "NNNL",                             later(Statistical),                 Prefixed,  true,   u"x, alpha, beta, cumulative"},
    {u"XOR",                     "Pppppppppppppppppppppppppppppp",   later(Logical),                     Prefixed,  true,   u"logical1, [logical2, ...]"},
};

// The constants of the reader, sorted by name. The file code is the error's
// file code negated, or the file function number of FALSE (35) and TRUE (34).
constexpr ConstantEntry kConstants[] = {
    {u"#DIV/0!", [] { return CellValue::error(ErrorCode::Div0); },  -0x07},
    {u"#N/A",    [] { return CellValue::error(ErrorCode::NA); },    -0x2A},
    {u"#NAME?",  [] { return CellValue::error(ErrorCode::Name); },  -0x1D},
    {u"#NULL!",  [] { return CellValue::error(ErrorCode::Null); },  -0x00},
    {u"#NUM!",   [] { return CellValue::error(ErrorCode::Num); },   -0x24},
    {u"#REF!",   [] { return CellValue::error(ErrorCode::Ref); },   -0x17},
    {u"#VALUE!", [] { return CellValue::error(ErrorCode::Value); }, -0x0F},
    {u"FALSE",   [] { return CellValue::boolean(false); },          35},
    {u"TRUE",    [] { return CellValue::boolean(true); },           34},
};
// clang-format on

// ---------------------------------------------------------------------------
// Compile-time checks of the table data.

constexpr auto kName = &FunctionEntry::name;

template <typename Entries, typename Projection>
constexpr bool strictlyAscending(const Entries& entries, Projection projection) {
  return std::ranges::adjacent_find(entries, std::ranges::greater_equal{}, projection) ==
         std::ranges::end(entries);
}

static_assert(std::size(kBuiltinFunctions) == 720);
static_assert(std::size(kAddInFunctions) == 112);
static_assert(std::size(kLaterFunctions) == 39);
static_assert(std::size(kConstants) == 9);
static_assert(std::ranges::is_sorted(kBuiltinFunctions, {}, kName));
static_assert(std::ranges::is_sorted(kAddInFunctions, {}, kName));
static_assert(std::ranges::is_sorted(kLaterFunctions, {}, kName));
static_assert(strictlyAscending(kLaterFunctions, kName), "duplicate later name");
static_assert(std::ranges::is_sorted(kConstants, {}, &ConstantEntry::name));
static_assert(strictlyAscending(kBuiltinFunctions, kName), "duplicate built-in name");
static_assert(strictlyAscending(kAddInFunctions, kName), "duplicate add-in name");

constexpr bool isNameChar(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
         c == u'.' || c == u'?';
}

constexpr bool validName(std::u16string_view name) {
  return !name.empty() && std::ranges::all_of(name, [](char16_t c) {
    return isNameChar(c) && !(c >= u'a' && c <= u'z');
  });
}

constexpr bool validTypes(std::string_view types) {
  constexpr std::string_view kLetters = "ABCDLNPQRSTUabcelnpqrs";
  return types.size() <= static_cast<size_t>(kMaxArguments) &&
         std::ranges::all_of(types, [&](char c) { return kLetters.find(c) != kLetters.npos; });
}

template <typename Entries>
constexpr bool wellFormed(const Entries& entries, TokenForm only) {
  return std::ranges::all_of(entries, [&](const FunctionEntry& e) {
    const bool builtin = e.tokenForm == TokenForm::Fixed || e.tokenForm == TokenForm::Variable;
    const bool formOk = only == TokenForm::Variable ? builtin : e.tokenForm == only;
    const bool packedOk = builtin || (e.packed >> 16) == 0;
    return validName(e.name) && validTypes(e.argTypes) && formOk && packedOk &&
           e.argTemplate.empty() == e.argTypes.empty();
  });
}
static_assert(wellFormed(kBuiltinFunctions, TokenForm::Variable));
static_assert(wellFormed(kAddInFunctions, TokenForm::AddIn));
static_assert(wellFormed(kLaterFunctions, TokenForm::Prefixed));
// A later version's function never shadows or is shadowed by a table name.
constexpr bool disjointFromTable() {
  for (const FunctionEntry& e : kLaterFunctions) {
    for (const FunctionEntry& b : kBuiltinFunctions)
      if (b.name == e.name) return false;
    for (const FunctionEntry& a : kAddInFunctions)
      if (a.name == e.name) return false;
  }
  return true;
}
static_assert(disjointFromTable());

template <typename Entries>
constexpr long countComputing(const Entries& entries) {
  return std::ranges::count(entries, true, &FunctionEntry::computes);
}
static_assert(countComputing(kBuiltinFunctions) == 305);
static_assert(countComputing(kAddInFunctions) == 93);
static_assert(countComputing(kBuiltinFunctions) + countComputing(kAddInFunctions) == 398);

constexpr size_t kMaxNameLength = [] {
  size_t longest = 0;
  for (const FunctionEntry& e : kBuiltinFunctions) longest = std::max(longest, e.name.size());
  for (const FunctionEntry& e : kAddInFunctions) longest = std::max(longest, e.name.size());
  for (const FunctionEntry& e : kLaterFunctions) longest = std::max(longest, e.name.size());
  return longest;
}();

// Built-in entries by file function number, for the file formats.
struct NumberIndex {
  std::uint16_t number;
  std::uint16_t entry;
};

constexpr auto kByNumber = [] {
  std::array<NumberIndex, std::size(kBuiltinFunctions)> index{};
  for (size_t i = 0; i < index.size(); ++i) {
    index[i] = {static_cast<std::uint16_t>(kBuiltinFunctions[i].packed & 0xFFFFu),
                static_cast<std::uint16_t>(i)};
  }
  std::ranges::sort(index, {}, &NumberIndex::number);
  return index;
}();
static_assert(strictlyAscending(kByNumber, &NumberIndex::number), "duplicate function number");

// ---------------------------------------------------------------------------
// Lookups.

constexpr char16_t foldUpper(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}

// Where the names of each first character lie in a sorted array: a search
// looks only among the few dozen names sharing the first character (every
// name character is ASCII).
struct FirstCharacterRanges {
  std::array<std::uint16_t, 129> start{}; // entries before the first with that character
};

template <size_t N>
constexpr FirstCharacterRanges firstCharacterRanges(const FunctionEntry (&entries)[N]) {
  FirstCharacterRanges r;
  size_t i = 0;
  for (size_t c = 0; c <= 128; ++c) {
    while (i < N && entries[i].name[0] < c) ++i;
    r.start[c] = static_cast<std::uint16_t>(i);
  }
  return r;
}

constexpr FirstCharacterRanges kBuiltinRanges = firstCharacterRanges(kBuiltinFunctions);
constexpr FirstCharacterRanges kAddInRanges = firstCharacterRanges(kAddInFunctions);
constexpr FirstCharacterRanges kLaterRanges = firstCharacterRanges(kLaterFunctions);

/// Exact search of one sorted array for an upper-case name of name characters.
const FunctionEntry* searchArray(std::span<const FunctionEntry> entries,
                                 const FirstCharacterRanges& ranges,
                                 std::u16string_view upperName) {
  const char16_t first = upperName[0];
  if (first >= 128) return nullptr;
  const auto bucket = entries.subspan(ranges.start[first],
                                      ranges.start[first + 1u] - ranges.start[first]);
  const auto it = std::ranges::lower_bound(bucket, upperName, {}, kName);
  return (it != bucket.end() && it->name == upperName) ? &*it : nullptr;
}

/// The built-in array first, then the add-ins, then later versions' functions.
const FunctionEntry* searchBoth(std::u16string_view upperName) {
  if (upperName.empty()) return nullptr;
  if (const FunctionEntry* e = searchArray(kBuiltinFunctions, kBuiltinRanges, upperName)) return e;
  if (const FunctionEntry* e = searchArray(kAddInFunctions, kAddInRanges, upperName)) return e;
  return searchArray(kLaterFunctions, kLaterRanges, upperName);
}

/// True when `c`, following a constant, would make the constant part of a
/// longer name: every character but the formula reader's identifier terminators
/// (both usual list separators "," and ";" among them), "}", quotes and
/// control characters.
bool continuesIdentifier(char16_t c) {
  constexpr std::u16string_view kEnders = u" %&()*+,-/:<=>^;{}\"";
  return c >= 0x20 && kEnders.find(c) == kEnders.npos;
}

// ---------------------------------------------------------------------------
// Handlers: one slot per entry, empty until the entry's family registers.

std::array<FunctionHandler, std::size(kBuiltinFunctions)> gBuiltinHandlers{};
std::array<FunctionHandler, std::size(kAddInFunctions)> gAddInHandlers{};
std::array<FunctionHandler, std::size(kLaterFunctions)> gLaterHandlers{};

/// The handler of computing entries whose family is not registered: the
/// function is known but cannot be computed here, as a function of an add-in
/// that is not loaded: #NAME?.
void unavailableHandler(Arguments&, CellValue& result, EvalContext&) {
  result = CellValue::error(ErrorCode::Name);
}

/// Index of `entry` within `entries`, or -1 when it is not an element.
template <size_t N>
long indexIn(const FunctionEntry (&entries)[N], const FunctionEntry& entry) {
  const std::less<const FunctionEntry*> less;
  if (less(&entry, std::begin(entries)) || !less(&entry, std::end(entries))) return -1;
  return static_cast<long>(&entry - std::begin(entries));
}

/// The handler slot of an entry of either array (an entry copied out of the
/// table is found again by name); null for a name the table does not have.
FunctionHandler* handlerSlot(const FunctionEntry& entry) {
  if (const long i = indexIn(kBuiltinFunctions, entry); i >= 0) {
    return &gBuiltinHandlers[static_cast<size_t>(i)];
  }
  if (const long i = indexIn(kAddInFunctions, entry); i >= 0) {
    return &gAddInHandlers[static_cast<size_t>(i)];
  }
  if (const long i = indexIn(kLaterFunctions, entry); i >= 0) {
    return &gLaterHandlers[static_cast<size_t>(i)];
  }
  const FunctionEntry* found = findFunction(entry.name);
  return found != nullptr ? handlerSlot(*found) : nullptr;
}

} // namespace

std::span<const FunctionEntry> builtinFunctions() { return kBuiltinFunctions; }
std::span<const FunctionEntry> addInFunctions() { return kAddInFunctions; }
std::span<const FunctionEntry> laterFunctions() { return kLaterFunctions; }
std::span<const ConstantEntry> constants() { return kConstants; }

bool isAddIn(const FunctionEntry& entry) { return entry.tokenForm == TokenForm::AddIn; }
bool isPrefixed(const FunctionEntry& entry) { return entry.tokenForm == TokenForm::Prefixed; }

namespace {
/// Entries without a file function number: the category alone is packed.
bool numberless(const FunctionEntry& entry) { return isAddIn(entry) || isPrefixed(entry); }
} // namespace

const FunctionEntry* findPrefixedFunction(std::u16string_view fileName) {
  if (fileName.size() <= kLaterPrefix.size()) return nullptr;
  for (size_t i = 0; i < kLaterPrefix.size(); ++i)
    if (foldUpper(fileName[i]) != foldUpper(kLaterPrefix[i])) return nullptr;
  const FunctionEntry* e = findFunction(fileName.substr(kLaterPrefix.size()));
  return e && isPrefixed(*e) ? e : nullptr;
}

int functionNumber(const FunctionEntry& entry) {
  return numberless(entry) ? -1 : static_cast<int>(entry.packed & 0xFFFFu);
}

FunctionCategory category(const FunctionEntry& entry) {
  const std::uint32_t code =
      numberless(entry) ? entry.packed & 0xFFFFu : (entry.packed >> 16) & 0xFFu;
  return static_cast<FunctionCategory>(code);
}

int suggestedFormat(const FunctionEntry& entry) {
  return numberless(entry) ? 0 : static_cast<int>(entry.packed >> 24);
}

const FunctionEntry* lookupFunctionAt(std::u16string_view text, size_t pos) {
  // The name is the run of name characters at `pos`; "(" must follow it.
  // Every table name consists of such characters (checked above), so a
  // longer or shorter run cannot be a name: "ACTIVATE(" finds ACTIVATE and
  // never ACTIVATE.NEXT, "SU(" finds nothing.
  std::array<char16_t, kMaxNameLength> folded;
  size_t length = 0;
  size_t i = pos;
  while (i < text.size() && isNameChar(text[i])) {
    if (length == folded.size()) return nullptr;
    folded[length++] = foldUpper(text[i]);
    ++i;
  }
  if (length == 0 || i >= text.size() || text[i] != u'(') return nullptr;
  return searchBoth({folded.data(), length});
}

const FunctionEntry* findFunction(std::u16string_view name) {
  std::array<char16_t, kMaxNameLength> folded;
  if (name.empty() || name.size() > folded.size()) return nullptr;
  for (size_t i = 0; i < name.size(); ++i) {
    if (!isNameChar(name[i])) return nullptr;
    folded[i] = foldUpper(name[i]);
  }
  return searchBoth({folded.data(), name.size()});
}

const FunctionEntry* findFunctionByNumber(int number) {
  if (number < 0 || number > 0xFFFF) return nullptr;
  const auto it = std::ranges::lower_bound(kByNumber, static_cast<std::uint16_t>(number), {},
                                           &NumberIndex::number);
  if (it == kByNumber.end() || it->number != number) return nullptr;
  return &kBuiltinFunctions[it->entry];
}

const ConstantEntry* lookupConstantAt(std::u16string_view text, size_t pos) {
  if (pos >= text.size()) return nullptr;
  const std::u16string_view rest = text.substr(pos);
  // Binary search: no constant is a prefix of another, so comparing a
  // constant with as many characters of the text as it has orders it
  // against the text.
  auto compare = [&](const ConstantEntry& c) {
    const size_t n = std::min(c.name.size(), rest.size());
    for (size_t i = 0; i < n; ++i) {
      const char16_t t = foldUpper(rest[i]);
      if (c.name[i] != t) return c.name[i] < t ? -1 : 1;
    }
    return c.name.size() <= rest.size() ? 0 : 1;
  };
  size_t low = 0;
  size_t high = std::size(kConstants);
  while (low < high) {
    const size_t mid = (low + high) / 2;
    const int order = compare(kConstants[mid]);
    if (order == 0) {
      const ConstantEntry& found = kConstants[mid];
      const size_t end = found.name.size();
      if (end < rest.size() && (rest[end] == u'(' || continuesIdentifier(rest[end]))) {
        return nullptr;
      }
      return &found;
    }
    if (order < 0) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return nullptr;
}

FunctionHandler handlerOf(const FunctionEntry& entry) {
  if (!entry.computes) return recognisedOnlyHandler;
  const FunctionHandler* slot = handlerSlot(entry);
  return (slot != nullptr && *slot != nullptr) ? *slot : unavailableHandler;
}

bool registerHandler(std::u16string_view name, FunctionHandler handler) {
  // A null handler withdraws a registration: the entry answers #NAME? again.
  const FunctionEntry* entry = findFunction(name);
  if (entry == nullptr || !entry->computes) return false;
  *handlerSlot(*entry) = handler;
  return true;
}

void recognisedOnlyHandler(Arguments&, CellValue& result, EvalContext&) {
  result = CellValue::boolean(false);
}

} // namespace formula

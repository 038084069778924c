// The main window's controls in tab order: id, kind, caption and place in
// dialog units.
#pragma once

#include <array>

#include "ui/dialog_units.h"

namespace tolvane {

enum class ControlKind { HiddenDefault, PortList, Label, Button, ViewPane, CaptureSwitch, HeaderPane, Status, Radio };

struct ControlTemplate {
  int Id;
  ControlKind Kind;
  const char* Caption;
  DlgRect Rect;
};

namespace ctl {
inline constexpr int kOk = 1;
inline constexpr int kPortList = 1000;
inline constexpr int kOpenFile = 1001;
inline constexpr int kView = 1002;
inline constexpr int kRead = 1003;
inline constexpr int kWrite = 1004;
inline constexpr int kVerify = 1005;
inline constexpr int kRun = 1006;
inline constexpr int kStatus = 1012;
inline constexpr int kCapture = 1014;
inline constexpr int kHeader = 1040;
inline constexpr int kHelp = 1041;
inline constexpr int kShowFile = 1079;
inline constexpr int kShowDevice = 1080;
inline constexpr int kShowInstructions = 1081;
inline constexpr int kLabel = -1;
}  // namespace ctl

inline constexpr int kMainWidth = 427;
inline constexpr int kMainHeight = 369;

inline constexpr std::array<ControlTemplate, 16> kMainControls{{
    {ctl::kOk, ControlKind::HiddenDefault, "OK", {212, 147, 16, 14}},
    {ctl::kPortList, ControlKind::PortList, "", {32, 41, 176, 414}},
    {ctl::kLabel, ControlKind::Label, "Порт:", {7, 43, 21, 11}},
    {ctl::kOpenFile, ControlKind::Button, "Открыть файл прошивки...", {7, 67, 102, 17}},
    {ctl::kView, ControlKind::ViewPane, "", {7, 105, 413, 254}},
    {ctl::kRead, ControlKind::Button, "Чтение из МК", {315, 67, 58, 18}},
    {ctl::kWrite, ControlKind::Button, "ЗАПИСАТЬ", {116, 67, 94, 17}},
    {ctl::kVerify, ControlKind::Button, "Верификация записи", {217, 67, 90, 17}},
    {ctl::kRun, ControlKind::Button, "ПУСК!!!", {383, 67, 37, 18}},
    {ctl::kCapture, ControlKind::CaptureSwitch, "Захват\nпрогр.", {375, 34, 45, 25}},
    {ctl::kHeader, ControlKind::HeaderPane, "", {7, 7, 362, 31}},
    {ctl::kHelp, ControlKind::Button, "Справка F1", {376, 7, 44, 16}},
    {ctl::kStatus, ControlKind::Status, "", {217, 42, 151, 12}},
    {ctl::kShowFile, ControlKind::Radio, "Показ файла прошивки", {7, 91, 98, 8}},
    {ctl::kShowDevice, ControlKind::Radio, "Показ прочитанных из МК данных", {114, 91, 137, 8}},
    {ctl::kShowInstructions, ControlKind::Radio, "Инструкция по обновлению прошивок", {261, 91, 149, 8}},
}};

// While a procedure runs, its progress and the Cancel button stand where the
// radio buttons are.
inline constexpr DlgRect kProgressRect{7, 89, 340, 12};
inline constexpr DlgRect kCancelRect{352, 88, 68, 14};

// The combo box's rectangle includes its drop-down list; the closed box is
// this tall.
inline constexpr int kComboClosedHeight = 12;

}  // namespace tolvane

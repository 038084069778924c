// Texts the window and the web page show alike: the firmware-update
// instructions of the view pane (a heading, then the lines below it), the
// built-in device's name in the port list.
#pragma once

#include <array>

namespace tolvane {

inline constexpr const char* kInstructionHeading = "ИНСТРУКЦИЯ ПО ОБНОВЛЕНИЮ ПРОШИВОК\r\n";

inline constexpr std::array<const char*, 5> kInstructionLines{{
    "Для получения более подробной информации нажмите кнопку справки 'F1'\r\n\r\n",
    "1. Выбирете ком-порт устройства и включите (перезагрузите) устройство. \r\n",
    "В режиме перепрошивки яркость светодиода каждую секунду плавно возрастает от нуля до максимума.\r\n",
    "2. При наличии новой прошивки откройте скачанный hex файл и нажмите кнопку 'ЗАПИСАТЬ'. Через некоторое время "
    "будет выдана информация о результате процесса.\r\n",
    "3. Для перевода устройства в штатный режим нажмите кнопку 'ПУСК!!!' или перезагрузите отключением питания.\r\n",
}};

// The window's title, and the page's.
inline constexpr const char* kWindowTitle = "Программирование Pic18F26k42 через СОМ-порт";

// The built-in simulated device as the port list names it.
inline constexpr const char* kSimulatedDeviceName = "Имитатор устройства (без оборудования)";

}  // namespace tolvane

#include "DeviceRanking.h"

#include "res/StringTable.h"

int MoveTargetRow(int row, bool up, int rowCount) {
    if (up) return row > 0 ? row - 1 : row;
    return row < rowCount - 1 ? row + 1 : row;
}

DeviceButtonStates DeviceButtonStatesFor(int selectedRow, int rowCount) {
    DeviceButtonStates states;
    const bool selected = selectedRow >= 0 && selectedRow < rowCount;
    states.editName = selected;
    states.up = selected && rowCount >= 2 && selectedRow != 0;
    states.down = selected && rowCount >= 2 && selectedRow != rowCount - 1;
    states.help = states.up || states.down;
    return states;
}

QString DeviceCountText(std::size_t count) {
    return QStringLiteral("%1 ").arg(static_cast<qulonglong>(count)) +
           LoadStringId(ids::IDS_DEVICES_CONNECTED);
}

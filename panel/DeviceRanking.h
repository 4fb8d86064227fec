// The arithmetic and enable rules of the devices page: where Up and Down move a row,
// which buttons a selection allows, and the device count of the status bar.
#pragma once

#include <QString>
#include <cstddef>

// Row the selected row lands on after a move; a move past either end stays put.
int MoveTargetRow(int row, bool up, int rowCount);

struct DeviceButtonStates {
    bool editName = false;
    bool up = false;
    bool down = false;
    // The ranking help is shown exactly while a move is possible.
    bool help = false;
};

// `selectedRow` is -1 when no row is selected.
DeviceButtonStates DeviceButtonStatesFor(int selectedRow, int rowCount);

// "<count> Device(s) connected." for status pane 1.
QString DeviceCountText(std::size_t count);

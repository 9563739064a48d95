// Draws a graph snapshot in the main window: a heading line, each filter as a box with its name
// and its pins (inputs on the left, outputs on the right), and a line for every connection.
#pragma once

#include <windows.h>

#include <string>

#include "RemoteGraph.h"

namespace ge {

void PaintGraph(HDC hDC, const std::wstring& heading, const CGraphModel& model);

}  // namespace ge

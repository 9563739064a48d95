#include "GraphView.h"

#include <vector>

namespace ge {
namespace {

const int kMargin = 12;
const int kTop = 44;          // below the heading
const int kBoxWidth = 170;
const int kColumnGap = 70;    // room for the connection lines between columns
const int kRowGap = 20;
const int kTitleHeight = 24;
const int kPinHeight = 18;

// Index of the filter with this name (names are unique in a graph), or -1.
int FindFilter(const CGraphModel& model, const std::wstring& name) {
    for (size_t i = 0; i < model.filters.size(); ++i)
        if (model.filters[i].name == name) return static_cast<int>(i);
    return -1;
}

int FindPin(const CFilterModel& filter, const std::wstring& name, PIN_DIRECTION eDirection) {
    for (size_t i = 0; i < filter.pins.size(); ++i)
        if (filter.pins[i].name == name && filter.pins[i].eDirection == eDirection) return static_cast<int>(i);
    return -1;
}

// Each filter's column: one to the right of every filter that feeds it, so data flows left to
// right whatever order the graph enumerates its filters in. The passes are bounded, so even a
// (malformed) cycle ends.
std::vector<int> Columns(const CGraphModel& model) {
    const size_t n = model.filters.size();
    std::vector<int> columns(n, 0);
    for (size_t nPass = 0; nPass < n; ++nPass)
        for (size_t i = 0; i < n; ++i)
            for (const CPinModel& pin : model.filters[i].pins) {
                if (pin.eDirection != PINDIR_OUTPUT || pin.peerFilter.empty()) continue;
                const int j = FindFilter(model, pin.peerFilter);
                if (j >= 0 && columns[j] < columns[i] + 1) columns[j] = columns[i] + 1;
            }
    return columns;
}

// The filters' boxes: by column from the left, stacked top-down within a column.
std::vector<RECT> Layout(const CGraphModel& model) {
    const std::vector<int> columns = Columns(model);
    std::vector<int> nextTop(model.filters.size() + 1, kTop);
    std::vector<RECT> boxes;
    for (size_t i = 0; i < model.filters.size(); ++i) {
        const int nColumn = columns[i];
        const int x = kMargin + nColumn * (kBoxWidth + kColumnGap);
        const int cy = kTitleHeight + static_cast<int>(model.filters[i].pins.size()) * kPinHeight + 6;
        boxes.push_back(RECT{x, nextTop[nColumn], x + kBoxWidth, nextTop[nColumn] + cy});
        nextTop[nColumn] += cy + kRowGap;
    }
    return boxes;
}

int PinCenterY(const RECT& box, size_t iPin) {
    return box.top + kTitleHeight + static_cast<int>(iPin) * kPinHeight + kPinHeight / 2;
}

void PaintFilter(HDC hDC, const RECT& box, const CFilterModel& filter) {
    ::Rectangle(hDC, box.left, box.top, box.right, box.bottom);
    RECT rcTitle = {box.left + 4, box.top + 4, box.right - 4, box.top + kTitleHeight};
    ::DrawTextW(hDC, filter.name.c_str(), -1, &rcTitle, DT_CENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    for (size_t i = 0; i < filter.pins.size(); ++i) {
        const CPinModel& pin = filter.pins[i];
        const int y = PinCenterY(box, i);
        RECT rcPin = {box.left + 6, y - kPinHeight / 2, box.right - 6, y + kPinHeight / 2};
        const UINT uAlign = pin.eDirection == PINDIR_INPUT ? DT_LEFT : DT_RIGHT;
        ::DrawTextW(hDC, pin.name.c_str(), -1, &rcPin, uAlign | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    }
}

// A line from each connected output pin on its box's right edge to the peer pin on the left edge of its box.
void PaintConnections(HDC hDC, const CGraphModel& model, const std::vector<RECT>& boxes) {
    for (size_t iFrom = 0; iFrom < model.filters.size(); ++iFrom) {
        const CFilterModel& from = model.filters[iFrom];
        for (size_t iPin = 0; iPin < from.pins.size(); ++iPin) {
            const CPinModel& pin = from.pins[iPin];
            if (pin.eDirection != PINDIR_OUTPUT || pin.peerFilter.empty()) continue;
            const int iTo = FindFilter(model, pin.peerFilter);
            if (iTo < 0) continue;
            const int iPeerPin = FindPin(model.filters[iTo], pin.peerPin, PINDIR_INPUT);
            if (iPeerPin < 0) continue;
            ::MoveToEx(hDC, boxes[iFrom].right, PinCenterY(boxes[iFrom], iPin), nullptr);
            ::LineTo(hDC, boxes[iTo].left, PinCenterY(boxes[iTo], iPeerPin));
        }
    }
}

}  // namespace

void PaintGraph(HDC hDC, const std::wstring& heading, const CGraphModel& model) {
    ::SetBkMode(hDC, TRANSPARENT);
    HGDIOBJ hOldFont = ::SelectObject(hDC, ::GetStockObject(DEFAULT_GUI_FONT));
    ::TextOutW(hDC, kMargin, kMargin, heading.c_str(), static_cast<int>(heading.size()));
    const std::vector<RECT> boxes = Layout(model);
    for (size_t i = 0; i < model.filters.size(); ++i) PaintFilter(hDC, boxes[i], model.filters[i]);
    PaintConnections(hDC, model, boxes);
    ::SelectObject(hDC, hOldFont);
}

}  // namespace ge

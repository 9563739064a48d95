#include "GraphView.h"

namespace ge {
namespace {

const int kMargin = 12;
const int kTop = 44;          // below the heading
const int kBoxWidth = 170;
const int kBoxGap = 70;       // room for the connection lines between boxes
const int kTitleHeight = 24;
const int kPinHeight = 18;

RECT BoxRect(size_t iFilter, const CFilterModel& filter) {
    const int x = kMargin + static_cast<int>(iFilter) * (kBoxWidth + kBoxGap);
    const int cy = kTitleHeight + static_cast<int>(filter.pins.size()) * kPinHeight + 6;
    return RECT{x, kTop, x + kBoxWidth, kTop + cy};
}

int PinCenterY(size_t iPin) { return kTop + kTitleHeight + static_cast<int>(iPin) * kPinHeight + kPinHeight / 2; }

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

void PaintFilter(HDC hDC, size_t iFilter, const CFilterModel& filter) {
    RECT rc = BoxRect(iFilter, filter);
    ::Rectangle(hDC, rc.left, rc.top, rc.right, rc.bottom);
    RECT rcTitle = {rc.left + 4, rc.top + 4, rc.right - 4, rc.top + kTitleHeight};
    ::DrawTextW(hDC, filter.name.c_str(), -1, &rcTitle, DT_CENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    for (size_t i = 0; i < filter.pins.size(); ++i) {
        const CPinModel& pin = filter.pins[i];
        const int y = PinCenterY(i);
        RECT rcPin = {rc.left + 6, y - kPinHeight / 2, rc.right - 6, y + kPinHeight / 2};
        const UINT uAlign = pin.eDirection == PINDIR_INPUT ? DT_LEFT : DT_RIGHT;
        ::DrawTextW(hDC, pin.name.c_str(), -1, &rcPin, uAlign | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    }
}

void PaintConnections(HDC hDC, const CGraphModel& model) {
    for (size_t iFrom = 0; iFrom < model.filters.size(); ++iFrom) {
        const CFilterModel& from = model.filters[iFrom];
        for (size_t iPin = 0; iPin < from.pins.size(); ++iPin) {
            const CPinModel& pin = from.pins[iPin];
            if (pin.eDirection != PINDIR_OUTPUT || pin.peerFilter.empty()) continue;
            const int iTo = FindFilter(model, pin.peerFilter);
            if (iTo < 0) continue;
            const CFilterModel& to = model.filters[iTo];
            const int iPeerPin = FindPin(to, pin.peerPin, PINDIR_INPUT);
            if (iPeerPin < 0) continue;
            const RECT rcFrom = BoxRect(iFrom, from);
            const RECT rcTo = BoxRect(iTo, to);
            ::MoveToEx(hDC, rcFrom.right, PinCenterY(iPin), nullptr);
            ::LineTo(hDC, rcTo.left, PinCenterY(iPeerPin));
        }
    }
}

}  // namespace

void PaintGraph(HDC hDC, const std::wstring& heading, const CGraphModel& model) {
    ::SetBkMode(hDC, TRANSPARENT);
    HGDIOBJ hOldFont = ::SelectObject(hDC, ::GetStockObject(DEFAULT_GUI_FONT));
    ::TextOutW(hDC, kMargin, kMargin, heading.c_str(), static_cast<int>(heading.size()));
    for (size_t i = 0; i < model.filters.size(); ++i) PaintFilter(hDC, i, model.filters[i]);
    PaintConnections(hDC, model);
    ::SelectObject(hDC, hOldFont);
}

}  // namespace ge

#include "engine/Locale.h"

#include <atomic>

namespace vmi {
namespace Locale {

namespace {

const Row kRows[] = {{"en-us", "English"}};
const int kDefaultRow = 0;
std::atomic<int> selectedRow(-1);

int Find(const std::string& code) {
    for (int i = 0; i < RowCount(); ++i) {
        if (code == kRows[i].code) {
            return i;
        }
    }
    return -1;
}

}  // namespace

int RowCount() {
    return static_cast<int>(sizeof kRows / sizeof kRows[0]);
}

const Row& RowAt(int index) {
    return kRows[index];
}

std::string FallbackCode() {
    return kRows[kDefaultRow].code;
}

std::string CurrentCode() {
    const int row = selectedRow.load();
    return row < 0 ? std::string() : std::string(kRows[row].code);
}

bool Select(const std::string& code) {
    const int row = Find(code);
    if (row < 0) {
        return false;
    }
    selectedRow.store(row);
    return true;
}

void SelectIfNone(const std::string& code) {
    const int row = Find(code);
    if (row < 0) {
        return;
    }
    int expected = -1;
    selectedRow.compare_exchange_strong(expected, row);
}

void ClearSelection() {
    selectedRow.store(-1);
}

}  // namespace Locale
}  // namespace vmi

#include "items/catalog.h"

// Each group's routines, declared in its own header.
#include "items/hardware/hardware_items.h"
#include "items/network/network_items.h"
#include "items/storage/storage_items.h"

namespace torvix {

const std::vector<ItemRoutine>& itemRoutines() {
    using namespace items;
    static const std::vector<ItemRoutine> all = {
        // hardware
        {"Command1", "Command1_Click", {"Text1"}, &Command1_Click},
        {"Command2", "Command2_Click", {"Text2"}, &Command2_Click},
        {"Command3", "Command3_Click", {"Text3"}, &Command3_Click},
        {"Command17", "Command17_Click", {"Text14"}, &Command17_Click},
        {"Command25", "Command25_Click", {"Text20"}, &Command25_Click},
        {"Command35", "Command35_Click", {}, &Command35_Click},
        {"Command33", "Command33_Click", {"Text33"}, &Command33_Click},
        {"Command5", "Command5_Click", {"Text5"}, &Command5_Click},
        {"Command22", "Command22_Click", {"Text22"}, &Command22_Click},
        {"Command7", "Command7_Click", {"Text7"}, &Command7_Click},
        {"Command8", "Command8_Click", {"Text8"}, &Command8_Click},
        // network
        {"Command9", "Command9_Click", {"Text9"}, &Command9_Click},
        {"Command10", "Command10_Click", {"Text10"}, &Command10_Click},
        {"Command11", "Command11_Click", {"Text11"}, &Command11_Click},
        {"Command28", "Command28_Click", {"Text28"}, &Command28_Click},
        {"Command12", "Command12_Click", {"Text12"}, &Command12_Click},
        {"Command13", "Command13_Click", {"Text13"}, &Command13_Click},
        {"Command23", "Command23_Click", {"Text23"}, &Command23_Click},
        {"Command24", "Command24_Click", {"Text24", "Text25", "Text21"}, &Command24_Click},
        {"Command26", "Command26_Click", {"Text26"}, &Command26_Click},
        {"Command27", "Command27_Click", {"Text27"}, &Command27_Click},
        {"Command4", "Command4_Click", {"Text4"}, &Command4_Click},
        {"Command6", "Command6_Click", {"Text6"}, &Command6_Click},
        {"Command29", "Command29_Click", {"Text29"}, &Command29_Click},
        {"Command32", "Command32_Click", {"Text32"}, &Command32_Click},
        // storage and product
        {"Command18", "Command18_Click", {"Text15"}, &Command18_Click},
        {"Command19", "Command19_Click", {"Text16"}, &Command19_Click},
        {"Command20", "Command20_Click", {"Text17"}, &Command20_Click},
        {"Command21", "Command21_Click", {"Text18"}, &Command21_Click},
        {"Command39", "Command39_Click", {"Text39"}, &Command39_Click},
        {"Command40", "Command40_Click", {"Text40"}, &Command40_Click},
    };
    return all;
}

const ItemRoutine* findItemRoutine(const QString& button) {
    for (const ItemRoutine& r : itemRoutines())
        if (r.button == button) return &r;
    return nullptr;
}

bool runItem(RoutineContext& ctx, const QString& button) {
    const ItemRoutine* r = findItemRoutine(button);
    if (!r) return false;
    return runRoutine(ctx, r->routineName, r->boxes, r->fn);
}

}  // namespace torvix

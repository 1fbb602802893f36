#pragma once

#include "items/routine.h"

// Drive and product items of the main window.
namespace torvix::items {

void Command18_Click(RoutineContext& ctx);  // drive capacity -> Text15
void Command19_Click(RoutineContext& ctx);  // drive use -> Text16
void Command20_Click(RoutineContext& ctx);  // drive use ratio -> Text17
void Command21_Click(RoutineContext& ctx);  // default printer -> Text18
void Command39_Click(RoutineContext& ctx);  // product model -> Text39
void Command40_Click(RoutineContext& ctx);  // product maker -> Text40

}  // namespace torvix::items

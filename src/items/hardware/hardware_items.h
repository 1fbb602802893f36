#pragma once

#include "items/routine.h"

// Processor, memory, operating-system, display, pointer and access-level items of the main
// window. Each writes only its own value box (and, where noted, its own caption).
namespace torvix::items {

void Command1_Click(RoutineContext& ctx);   // processor clock -> Text1
void Command2_Click(RoutineContext& ctx);   // processor type -> Text2
void Command3_Click(RoutineContext& ctx);   // logical processors and address width -> Text3
void Command17_Click(RoutineContext& ctx);  // memory size -> Text14
void Command25_Click(RoutineContext& ctx);  // free memory -> Text20, caption of Command25
void Command35_Click(RoutineContext& ctx);  // free-memory check toggle (caption of Command35)
void Command33_Click(RoutineContext& ctx);  // access level -> Text33
void Command5_Click(RoutineContext& ctx);   // operating-system name -> Text5
void Command22_Click(RoutineContext& ctx);  // service pack -> Text22
void Command7_Click(RoutineContext& ctx);   // pointing devices -> Text7
void Command8_Click(RoutineContext& ctx);   // display size -> Text8

}  // namespace torvix::items

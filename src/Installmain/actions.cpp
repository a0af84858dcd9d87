// The launcher's actions behind the hot-spots and the launching of programs from the disc.
#include "Installmain/insmain.h"

void TInsMain::FI2Click() {}
void TInsMain::PI22Click() {}
void TInsMain::PI32Click() {}
void TInsMain::im041Click() {}
void TInsMain::im051Click() {}
void TInsMain::im061Click() {}
void TInsMain::im071Click() {}
void TInsMain::im081Click() {}
void TInsMain::im091Click() {}
void TInsMain::im101Click() {}

void TInsMain::LaunchFile(const std::string&, const std::string&) {}

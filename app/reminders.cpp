#include "app/reminders.h"

// Reminders arrive with their own change; until then the button does nothing.
void SwitchReminders() {}
void ArmReminders(int) {}
void RemindOfProgramme(UINT_PTR) {}
void ToggleTray() {}
void RecomputeReminders() {}

#pragma once
// Helpers of the mail check cycle that the windows use too.
class CFilterApp;

// The check timer's period for a CheckInterval in minutes: brought into
// 1 minute .. 24 days, the range a timer can hold. The setting keeps its value.
long long CheckTimerPeriodMs(int checkIntervalMinutes);

// The check worker's procedure: one cycle, then the thread ends.
void MailCheckThread(CFilterApp& app);

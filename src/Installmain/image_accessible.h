#pragma once
// What assistive technology learns of a launcher picture: a hot-spot picture is a named push
// button with a press action, the background picture is not announced.

// Makes the launcher's pictures report themselves so; once per process, before any is queried.
void InstallImageAccessibility();

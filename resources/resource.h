// The ids of SETUP.exe's texts, for resources/setup.rc, the setup's code and the tests alike.
// Plain #defines: the resource compiler reads this file too, and it knows no enum.
#pragma once

#define IDS_START_QUESTION 100  // whether to install the saver (its title for %s)
#define IDS_SAVER_SET 101       // the saver is the current one now (its title for %s)
#define IDS_ABORT_QUESTION 102  // whether to abort the installation, after Escape
#define IDS_LOW_COLOR 103       // the refusal on a display of 256 colours or fewer
#define IDS_SAVER_NOT_SET 104   // the registration failed (the saver's title for %s)
#define IDS_REMOVE_QUESTION 105 // whether to remove the saver this package installs (its title for %s)
#define IDS_SAVER_REMOVED 106   // the saver is removed (its title for %s)
#define IDS_SAVER_NOT_INSTALLED 107 // nothing to remove: this package's saver is not installed (its title for %s)
#define IDS_SAVER_NOT_REMOVED 108   // the removal failed: the saver's file stays (its title for %s)

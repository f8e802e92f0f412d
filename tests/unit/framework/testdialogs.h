// testdialogs.h - dialog templates of the framework tests.
#ifndef FERROTUNE_TESTS_FRAMEWORK_TESTDIALOGS_H
#define FERROTUNE_TESTS_FRAMEWORK_TESTDIALOGS_H

#define IDD_PLAIN 200        // classic, at (0, 0), no centring style
#define IDD_PLACED 201       // classic, at (20, 10)
#define IDD_CENTER_STYLE 202 // classic, at (0, 0), DS_CENTER
#define IDD_PLAIN_EX 203     // extended, at (0, 0), no centring style
#define IDD_PLACED_EX 204    // extended, at (5, 0)
#define IDD_WIDE 205         // classic, at (0, 0), wider than IDD_PLAIN

#define IDC_GO 300
#define IDC_OTHER 301

#endif

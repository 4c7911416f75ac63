/* Resource identifiers shared by the launcher sources and the resource scripts.
 * Keep this file to plain #defines: it is read by both the C++ compiler and
 * the resource compiler; aligned by hand, so clang-format keeps off. */
/* clang-format off */
#ifndef LAUNCHER_RESOURCE_IDS_H
#define LAUNCHER_RESOURCE_IDS_H

/* Application icon (icon group). */
#define IDI_LAUNCHER          101

/* Message box texts (string table). */
#define IDS_INSTALL_FAILED    102
#define IDS_INSTALL_PROMPT    103
#define IDS_UNINSTALL_FAILED  104
#define IDS_UNINSTALL_PROMPT  105

/* Embedded legacy setup program (custom "BINARY" resource type). */
#define IDR_LEGACY_SETUP      106

#endif /* LAUNCHER_RESOURCE_IDS_H */

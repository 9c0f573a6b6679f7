#ifndef TAVREL_RESOURCE_IDS_H
#define TAVREL_RESOURCE_IDS_H

#define IDS_SETUP_BROKEN 101
#define IDS_OS_UNSUPPORTED 102

// The icon group is named by the text IDI_TAVREL20 in tavrel.rc; defining
// that name here would turn it into a number.

#endif

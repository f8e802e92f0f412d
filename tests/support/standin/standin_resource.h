// standin_resource.h - identifiers of the stand-in compressor's two dialogs.
#ifndef FERROTUNE_STANDIN_RESOURCE_H
#define FERROTUNE_STANDIN_RESOURCE_H

#define IDD_STANDIN_CONFIGURE 200
#define IDD_STANDIN_ABOUT 201

#endif

/* The text by which the publisher's tool recognises a launcher stub built by
   this project: the launcher carries it in its resources, and the tool accepts
   as a stub only a Windows program holding it in its resource section. A
   macro, not a constant, so that the launcher's resource script can take it
   too. */
#pragma once

#define KOVA_LAUNCHER_IDENTITY "Kova launcher stub, appended-data format 1"

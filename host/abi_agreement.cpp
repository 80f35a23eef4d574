// The host's record declarations against the module's own: on every target the two
// must agree field by field, or the host would call the wrong slot.

#include "plugin_abi.h"

#include "platform/plugin_abi.h"

#include <cstddef>

#define ORV_SAME_FIELD(host_record, module_record, field)                                          \
    static_assert(offsetof(host::host_record, field) == offsetof(module_record, field),            \
                  #field " differs between the host and the module")

static_assert(sizeof(host::InModule) == sizeof(In_Module));
ORV_SAME_FIELD(InModule, In_Module, version);
ORV_SAME_FIELD(InModule, In_Module, description);
ORV_SAME_FIELD(InModule, In_Module, hMainWindow);
ORV_SAME_FIELD(InModule, In_Module, hDllInstance);
ORV_SAME_FIELD(InModule, In_Module, FileExtensions);
ORV_SAME_FIELD(InModule, In_Module, is_seekable);
ORV_SAME_FIELD(InModule, In_Module, UsesOutputPlug);
ORV_SAME_FIELD(InModule, In_Module, Config);
ORV_SAME_FIELD(InModule, In_Module, About);
ORV_SAME_FIELD(InModule, In_Module, Init);
ORV_SAME_FIELD(InModule, In_Module, Quit);
ORV_SAME_FIELD(InModule, In_Module, GetFileInfo);
ORV_SAME_FIELD(InModule, In_Module, InfoBox);
ORV_SAME_FIELD(InModule, In_Module, IsOurFile);
ORV_SAME_FIELD(InModule, In_Module, Play);
ORV_SAME_FIELD(InModule, In_Module, Pause);
ORV_SAME_FIELD(InModule, In_Module, UnPause);
ORV_SAME_FIELD(InModule, In_Module, IsPaused);
ORV_SAME_FIELD(InModule, In_Module, Stop);
ORV_SAME_FIELD(InModule, In_Module, GetLength);
ORV_SAME_FIELD(InModule, In_Module, GetOutputTime);
ORV_SAME_FIELD(InModule, In_Module, SetOutputTime);
ORV_SAME_FIELD(InModule, In_Module, SetVolume);
ORV_SAME_FIELD(InModule, In_Module, SetPan);
ORV_SAME_FIELD(InModule, In_Module, SAVSAInit);
ORV_SAME_FIELD(InModule, In_Module, SAVSADeInit);
ORV_SAME_FIELD(InModule, In_Module, SAAddPCMData);
ORV_SAME_FIELD(InModule, In_Module, SAGetMode);
ORV_SAME_FIELD(InModule, In_Module, SAAdd);
ORV_SAME_FIELD(InModule, In_Module, VSAAddPCMData);
ORV_SAME_FIELD(InModule, In_Module, VSAGetMode);
ORV_SAME_FIELD(InModule, In_Module, VSAAdd);
ORV_SAME_FIELD(InModule, In_Module, VSASetInfo);
ORV_SAME_FIELD(InModule, In_Module, dsp_isactive);
ORV_SAME_FIELD(InModule, In_Module, dsp_dosamples);
ORV_SAME_FIELD(InModule, In_Module, EQSet);
ORV_SAME_FIELD(InModule, In_Module, SetInfo);
ORV_SAME_FIELD(InModule, In_Module, outMod);

static_assert(sizeof(host::OutModule) == sizeof(Out_Module));
ORV_SAME_FIELD(OutModule, Out_Module, version);
ORV_SAME_FIELD(OutModule, Out_Module, description);
ORV_SAME_FIELD(OutModule, Out_Module, id);
ORV_SAME_FIELD(OutModule, Out_Module, hMainWindow);
ORV_SAME_FIELD(OutModule, Out_Module, hDllInstance);
ORV_SAME_FIELD(OutModule, Out_Module, Config);
ORV_SAME_FIELD(OutModule, Out_Module, About);
ORV_SAME_FIELD(OutModule, Out_Module, Init);
ORV_SAME_FIELD(OutModule, Out_Module, Quit);
ORV_SAME_FIELD(OutModule, Out_Module, Open);
ORV_SAME_FIELD(OutModule, Out_Module, Close);
ORV_SAME_FIELD(OutModule, Out_Module, Write);
ORV_SAME_FIELD(OutModule, Out_Module, CanWrite);
ORV_SAME_FIELD(OutModule, Out_Module, IsPlaying);
ORV_SAME_FIELD(OutModule, Out_Module, Pause);
ORV_SAME_FIELD(OutModule, Out_Module, SetVolume);
ORV_SAME_FIELD(OutModule, Out_Module, SetPan);
ORV_SAME_FIELD(OutModule, Out_Module, Flush);
ORV_SAME_FIELD(OutModule, Out_Module, GetOutputTime);
ORV_SAME_FIELD(OutModule, Out_Module, GetWrittenTime);

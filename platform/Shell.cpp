#include "platform/Shell.h"

#include "platform/Hooks.h"

int ShellExecute(HWND, const std::string& verb, const std::string& file, const std::string& params,
                 const std::string& directory, int showCmd)
{
    if (file.empty())
        return SE_ERR_FNF;
    ShellOpenCall call;
    call.verb = verb.empty() ? "open" : verb;
    call.file = file;
    call.params = params;
    call.directory = directory;
    call.show = showCmd;
    const auto& hook = GetHooks().shellOpen;
    return hook && hook(call) ? 42 : SE_ERR_NOASSOC;
}

#include "platform/Clipboard.h"

#include "platform/Hooks.h"

bool ClipboardHasText()
{
    std::string text;
    const auto& hook = GetHooks().clipboardGetText;
    return hook && hook(text);
}

std::string ClipboardGetText()
{
    std::string text;
    const auto& hook = GetHooks().clipboardGetText;
    if (!hook || !hook(text))
        return {};
    return text;
}

void ClipboardSetText(const std::string& text)
{
    if (const auto& hook = GetHooks().clipboardSetText)
        hook(text);
}

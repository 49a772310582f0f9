#include "view/PageFiles.h"

const PageFile* FindPageFile(std::string_view name)
{
    for (size_t i = 0; i < kPageFileCount; ++i)
        if (name == kPageFiles[i].name)
            return &kPageFiles[i];
    return nullptr;
}

#include "platform/Library.h"

#include <cmath>

#include <gtest/gtest.h>

namespace {

int Answer() { return 42; }

TEST(LibraryTest, BuiltinNamesIgnoreCaseAndShareOneModule)
{
    RegisterBuiltinLibrary("tvtest.dll", {{"Answer", reinterpret_cast<void*>(&Answer)}});
    const HMODULE first = LoadLibrary("tvtest.dll");
    ASSERT_NE(first, 0u);
    for (const char* name : {"TVTEST.DLL", "TvTest.Dll", "tvtest"}) {
        SCOPED_TRACE(name);
        const HMODULE again = LoadLibrary(name);
        EXPECT_EQ(again, first);
        auto* answer = reinterpret_cast<int (*)()>(GetProcAddress(again, "Answer"));
        ASSERT_NE(answer, nullptr);
        EXPECT_EQ(answer(), 42);
    }
    EXPECT_EQ(GetProcAddress(first, "answer"), nullptr);  // symbols match exactly
    EXPECT_EQ(GetProcAddress(first, "Missing"), nullptr);
    // Four loads, four frees; then the handle is dead.
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(FreeLibrary(first));
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetProcAddress(first, "Answer"), nullptr);
    // A fresh load is a new handle: stale ones stay dead.
    const HMODULE fresh = LoadLibrary("tvtest.dll");
    EXPECT_NE(fresh, first);
    EXPECT_TRUE(FreeLibrary(fresh));
}

TEST(LibraryTest, FilesAreOpenedWithTheDynamicLoader)
{
    const HMODULE libm = LoadLibrary("libm.so.6");
    ASSERT_NE(libm, 0u) << LastLibraryError();
    auto* cosine = reinterpret_cast<double (*)(double)>(GetProcAddress(libm, "cos"));
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(GetProcAddress(libm, "no_such_symbol_here"), nullptr);
    const HMODULE again = LoadLibrary("libm.so.6");
    EXPECT_EQ(again, libm);
    EXPECT_TRUE(FreeLibrary(again));
    EXPECT_TRUE(FreeLibrary(libm));
    EXPECT_FALSE(FreeLibrary(libm));
}

TEST(LibraryTest, MissingLibrariesFail)
{
    for (const char* name : {"/no/such/libunrar.so", "unregistered.dll", ""}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(LoadLibrary(name), 0u);
        EXPECT_FALSE(LastLibraryError().empty());
    }
    EXPECT_EQ(GetProcAddress(0, "cos"), nullptr);
    EXPECT_FALSE(FreeLibrary(0));
}

}  // namespace

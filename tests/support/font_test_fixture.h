// The fixture of the font tests: a program folder with "data" mounted on a
// null device, the texture services on its driver, and the monospace font image.
#pragma once

#include "codepage.h"
#include "font_fixtures.h"
#include "msgbox_recorder.h"
#include "rendering_font.h"
#include "rendering_material_custom.h"
#include "rendering_stuff_textures.h"
#include "texture_stages.h"
#include "temp_folder.h"
#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"

#include <gtest/gtest.h>

#include <irrlicht.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

inline std::string str(const CString& text)
{
    return (const char*)text;
}

// A program folder with "data" mounted on a null device, and a font image.
class FontTest : public testing::Test {
protected:
    void SetUp() override
    {
        Device = irr::createDevice(irr::video::EDT_NULL);
        ASSERT_NE(Device, nullptr);
        Data = Folder.path() + "app/data/";
        std::filesystem::create_directories(Data + "fonts");
        SetAppFolder((Folder.path() + "app/").c_str());
        SetLogFolder(Folder.path().c_str());
        GetDefaultEngineContext().FileSystem = Device->getFileSystem();
        GetDefaultEngineContext().ManifestLoaded = true;
        ASSERT_TRUE(WriteMonospaceFontImage(Device->getVideoDriver(), Data + "fonts/mono.png"));
        mount();
        platform::PinAnsiCodePage("CP1252");
        ClearTextFileCache();
        Materials.init(Device->getVideoDriver(), nullptr);
        SetTextureServices(Device->getVideoDriver(), &Materials);
        CTextureCache::instance().clear();
    }
    void TearDown() override
    {
        CTextureCache::instance().clear();
        SetTextureServices(nullptr, nullptr);
        Materials.dropAll();
        ClearTextFileCache();
        platform::PinAnsiCodePage(nullptr);
        GetDefaultEngineContext().ManifestLoaded = false;
        GetDefaultEngineContext().FileSystem = nullptr;
        SetAppFolder(nullptr);
        SetLogFolder(nullptr);
        ClearNativePathCache();
        if (Device)
            Device->drop();
    }

    void write(std::string name, const std::string& text) const
    {
        std::replace(name.begin(), name.end(), '\\', '/');
        Folder.write("app/data/" + name, text);
        mount();
    }

    // A mounted folder lists its files once: mount again after writing.
    void mount() const
    {
        irr::io::IFileSystem* fs = Device->getFileSystem();
        fs->removeFileArchive(Data.c_str());
        ASSERT_TRUE(fs->addFileArchive(Data.c_str(), true, false, irr::io::EFAT_FOLDER));
    }

    // +1: the test drops it.
    CGUIFont3D* load(const std::string& name, const std::string& text, bool expectLoaded = true)
    {
        write(name, text);
        auto* font = new CGUIFont3D(Device->getVideoDriver(), Device->getSceneManager(), Device->getTimer());
        EXPECT_EQ(font->loadXmlFont(name.c_str()), expectLoaded) << name;
        return font;
    }

    std::vector<std::string> boxTexts() const
    {
        std::vector<std::string> texts;
        for (const SRecordedBox& box : Boxes.Boxes)
            texts.push_back(box.Text);
        return texts;
    }

    irr::IrrlichtDevice* Device = nullptr;
    CCustomMaterials Materials;
    CTempFolder Folder;
    std::string Data;
    CMessageBoxRecorder Boxes;
};

struct FontRef {
    explicit FontRef(CGUIFont3D* font) : Font(font) {}
    ~FontRef() { Font->drop(); }
    CGUIFont3D* operator->() const { return Font; }
    CGUIFont3D* Font;
};


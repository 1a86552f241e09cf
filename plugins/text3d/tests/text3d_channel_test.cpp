// The 3D text channel loaded from its plug-in file through the engine, as a project runs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine_host.h"
#include "frame_renderer.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/siblings/string_channel.h"
#include "plugin_frame/siblings/win32_font.h"
#include "plugin_frame/type_guids.h"
#include "text3d/d3dx_text.h"
#include "text3d/text3d_channel.h"

namespace {

class TextChannel : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(scene::SceneDevice(host.Engine()), nullptr);
        text3d = host.Create<Kco_DX8_3DText>(type_guids::k3DText);
        ASSERT_NE(text3d, nullptr);
        Kel_Channel* child = text3d->GetChildFromLinkPosition(2, 0);
        ASSERT_NE(child, nullptr) << "the text link is auto-created";
        ASSERT_TRUE(child->IsOfType(type_guids::kStringChannel));
        text = static_cast<Kco_StringChannel*>(child);
    }

    Kco_Win32_Font* LinkFont(const char* face) {
        auto* font = host.Create<Kco_Win32_Font>(type_guids::kWin32Font);
        LOGFONTA lf = font->GetFont();
        std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
        font->SetFont(lf);
        EXPECT_TRUE(host.Link(text3d, font, 3));
        return font;
    }

    EngineHost host{CHANNELS_DIR};
    Kco_DX8_3DText* text3d = nullptr;
    Kco_StringChannel* text = nullptr;
};

TEST_F(TextChannel, EmptyTextBuildsNothingUntilATextIsTyped) {
    text->SetString("");
    text3d->CallChannel();
    EXPECT_EQ(text3d->GetVertexCount(), 0);
    EXPECT_FALSE(text3d->GetMeshBuilt());

    text->SetString("Vt");
    text3d->CallChannel();
    ASSERT_TRUE(text3d->GetMeshBuilt());
    EXPECT_FALSE(text3d->CheckIfTextChange());

    // The object data holds D3DXCreateText's mesh for the default font, vertex by vertex.
    IDirect3DDevice8* device = scene::SceneDevice(host.Engine());
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontA(0, 0, 0, 0, 400, 0, 0, 0, 1, 0, 0, 4, 2, "Arial");
    HGDIOBJ previous = SelectObject(dc, font);
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXCreateText(device, dc, "Vt", 0.005f, 0.15f, &mesh, nullptr, nullptr), D3D_OK);
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(font);
    ASSERT_EQ(text3d->GetVertexCount(), int(mesh->GetNumVertices()));
    ASSERT_EQ(text3d->GetIndexCount(), int(mesh->GetNumFaces() * 3));
    BYTE* vertices = nullptr;
    mesh->LockVertexBuffer(D3DLOCK_READONLY, &vertices);
    for (int i = 0; i < text3d->GetVertexCount(); i += 7) {
        float v[6];
        std::memcpy(v, vertices + 24 * i, sizeof v);
        D3DXVECTOR3 p = text3d->GetVertexPosition(i), n = text3d->GetVertexNormals(i);
        EXPECT_EQ(p.x, v[0]);
        EXPECT_EQ(p.z, v[2]);
        EXPECT_EQ(n.y, v[4]);
    }
    mesh->UnlockVertexBuffer();
    BYTE* indices = nullptr;
    mesh->LockIndexBuffer(D3DLOCK_READONLY, &indices);
    EXPECT_EQ(text3d->GetIndexes(5), reinterpret_cast<uint16_t*>(indices)[5]);
    mesh->UnlockIndexBuffer();
    mesh->Release();
    EXPECT_TRUE(text3d->GetVertexTUUse(0));
    EXPECT_TRUE(text3d->GetVertexTUUse(1));

    // A text of spaces builds no geometry and keeps the mesh there was.
    int count = text3d->GetVertexCount();
    text->SetString("   ");
    text3d->UpdateData();
    EXPECT_EQ(text3d->GetVertexCount(), count);
}

TEST_F(TextChannel, ComplexityChangesRebuildOnlyPastTheThreshold) {
    auto* complexity = host.Create<Kco_FloatChannel>(type_guids::kFloatChannel);
    ASSERT_TRUE(host.Link(text3d, complexity, 4));
    complexity->SetFloat(0.5f);
    text->SetString("S");
    text3d->CallChannel();
    EXPECT_FLOAT_EQ(text3d->GetDeviation(), 0.011f);
    int count = text3d->GetVertexCount();

    complexity->SetFloat(0.504f);  // deviation 0.00008 finer
    EXPECT_FALSE(text3d->CheckIfTextChange());
    complexity->SetFloat(1.5f);  // counts as 1: the finest outline
    EXPECT_TRUE(text3d->CheckIfTextChange());
    text3d->CallChannel();
    EXPECT_FLOAT_EQ(text3d->GetDeviation(), 0.001f);
    EXPECT_GT(text3d->GetVertexCount(), count);
    complexity->SetFloat(-3.0f);
    text3d->CallChannel();
    EXPECT_FLOAT_EQ(text3d->GetDeviation(), 0.021f);
}

TEST_F(TextChannel, NullTextDropsTheMesh) {
    text->SetString("A");
    text3d->CallChannel();
    ASSERT_GT(text3d->GetVertexCount(), 0);
    text->SetString(nullptr);
    EXPECT_FALSE(text3d->CheckIfTextChange());
    EXPECT_EQ(text3d->GetVertexCount(), 0);
}

TEST_F(TextChannel, FontChildChoosesTheFaceAndAnEmptyNameKeepsTheMesh) {
    Kco_Win32_Font* font = LinkFont("Liberation Mono");
    text->SetString("Wi");
    text3d->CallChannel();
    D3DXVECTOR3 mono = text3d->GetBoundingBoxMax();

    LOGFONTA lf = font->GetFont();
    std::strcpy(lf.lfFaceName, "DejaVu Serif");
    font->SetFont(lf);
    EXPECT_TRUE(text3d->CheckIfTextChange());
    text3d->CallChannel();
    D3DXVECTOR3 serif = text3d->GetBoundingBoxMax();
    EXPECT_NE(serif.x, mono.x) << "the other face gives other advances";
    int count = text3d->GetVertexCount();

    lf.lfFaceName[0] = '\0';
    font->SetFont(lf);
    text3d->CallChannel();
    EXPECT_EQ(text3d->GetVertexCount(), count);
    EXPECT_EQ(text3d->GetBoundingBoxMax().x, serif.x);
    EXPECT_FALSE(text3d->CheckIfTextChange()) << "the empty name was taken as the last font";
}

TEST_F(TextChannel, TextureFlagsOffLeaveCoordinatesUnset) {
    text3d->SetUseTexCoordSet(0, false);
    text3d->SetUseTexCoordSet(1, false);
    text->SetString("T");
    text3d->CallChannel();
    ASSERT_GT(text3d->GetVertexCount(), 0);
    EXPECT_FALSE(text3d->GetVertexTUUse(0));
    EXPECT_FALSE(text3d->GetVertexTUUse(1));
}

TEST_F(TextChannel, SaveAndLoadRoundTrip) {
    text3d->SetUseTexCoordSet(1, false);
    text3d->MapTexture(0, kTextureMappingPlanar);
    text3d->SetTextureTransform(2, 2);
    VertTUVOffset offset{0.25f, 0.5f, 1.0f, 0.0f, 2.0f, 3.0f};
    text3d->SetTUVOffSet(1, offset);
    text->SetString("Round");
    text3d->CallChannel();

    KelFileSaver saver;
    ASSERT_TRUE(text3d->SaveChannel(saver));
    // Our records come after the engine's own, in the fixed order.
    std::string bytes(saver.Bytes().begin(), saver.Bytes().end());
    size_t at = 0;
    for (const char* tag : {"POTM", "VTOP", "VTO2", "VTO3", "VTUT", "VTU2", "POTT"}) {
        size_t found = bytes.find(tag, at);
        ASSERT_NE(found, std::string::npos) << tag;
        at = found + 4;
    }

    auto* loaded = host.Create<Kco_DX8_3DText>(type_guids::k3DText);
    KelFileLoader loader(saver.Bytes());
    ASSERT_TRUE(loaded->LoadChannel(loader, &host.Group()));
    EXPECT_TRUE(loaded->GetUseTexCoordSet(0));
    EXPECT_FALSE(loaded->GetUseTexCoordSet(1));
    EXPECT_EQ(loaded->GetTextureMapping(0), kTextureMappingPlanar);
    EXPECT_EQ(loaded->GetTextureTransform(2), 2);
    EXPECT_EQ(std::memcmp(loaded->GetTUVOffSet(1), &offset, sizeof offset), 0);
    EXPECT_FALSE(loaded->GetMeshBuilt());
    EXPECT_EQ(loaded->GetVertexCount(), 0) << "the mesh is built, never stored";

    // A record without our tags keeps the defaults.
    KelFileSaver bare;
    ASSERT_TRUE(static_cast<Kel_Channel*>(loaded)->Kel_Channel::SaveChannel(bare));
    auto* fresh = host.Create<Kco_DX8_3DText>(type_guids::k3DText);
    KelFileLoader bareLoader(bare.Bytes());
    ASSERT_TRUE(fresh->LoadChannel(bareLoader, &host.Group()));
    EXPECT_TRUE(fresh->GetUseTexCoordSet(1));
    EXPECT_EQ(fresh->GetTextureMapping(0), 0);
}

TEST_F(TextChannel, CopiesStandAlone) {
    text->SetString("Copy");
    text3d->CallChannel();
    auto* copy = new Kco_DX8_3DText(*text3d);
    EXPECT_EQ(copy->GetVertexCount(), text3d->GetVertexCount());
    EXPECT_TRUE(copy->GetMeshBuilt());
    text->SetString("Other");
    text3d->CallChannel();
    delete copy;  // its own text and mesh: the original lives on
    EXPECT_TRUE(text3d->GetMeshBuilt());
    EXPECT_GT(text3d->GetVertexCount(), 0);
    Kco_DX8_3DText assigned;
    assigned = *text3d;
    EXPECT_EQ(assigned.GetVertexCount(), text3d->GetVertexCount());
}

TEST(Win32Font, SavesTheSixtyBytesOfItsDescription) {
    EngineHost host{CHANNELS_DIR};
    auto* font = host.Create<Kco_Win32_Font>(type_guids::kWin32Font);
    ASSERT_NE(font, nullptr);
    EXPECT_STREQ(font->GetFont().lfFaceName, "Arial");
    LOGFONTA lf{};
    lf.lfHeight = -24;
    lf.lfWeight = 700;
    lf.lfItalic = 1;
    lf.lfCharSet = 1;
    std::memset(lf.lfFaceName, 'x', LF_FACESIZE);  // no terminator: the channel adds one
    font->SetFont(lf);
    KelFileSaver saver;
    ASSERT_TRUE(font->SaveChannel(saver));
    const std::vector<uint8_t>& bytes = saver.Bytes();
    const uint8_t head[] = {'W', 'F', 'L', 'F', 60, 0, 0, 0, 0xE8, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0,
                            0, 0, 0, 0, 0, 0, 0, 0, 0xBC, 0x02, 0, 0, 1, 0, 0, 1};
    auto at = std::search(bytes.begin(), bytes.end(), head, head + 4);
    ASSERT_NE(at, bytes.end());
    ASSERT_GE(size_t(bytes.end() - at), 68u);
    EXPECT_TRUE(std::equal(head, head + sizeof head, at));
    EXPECT_EQ(at[8 + 28 + 30], 'x');
    EXPECT_EQ(at[8 + 28 + 31], 0);

    auto* loaded = host.Create<Kco_Win32_Font>(type_guids::kWin32Font);
    KelFileLoader loader(bytes);
    ASSERT_TRUE(loaded->LoadChannel(loader, &host.Group()));
    LOGFONTA back = loaded->GetFont();
    EXPECT_EQ(back.lfHeight, -24);
    EXPECT_EQ(back.lfWeight, 700);
    EXPECT_EQ(back.lfItalic, 1);
    EXPECT_EQ(std::string(back.lfFaceName), std::string(31, 'x'));
}

}  // namespace

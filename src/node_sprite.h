// The sprite node: a camera-facing textured quad showing one cell of a frame
// grid inside its texture region, handed to the renderer's 2D batch.
#pragma once

#include "node_base.h"
#include "rendering_stuff_textures.h"

#include <S3DVertex.h>
#include <SMaterial.h>
#include <matrix4.h>
#include <vector2d.h>

namespace irr { namespace scene { class ICameraSceneNode; } }

class CSpriteNode : public CNodeBasement {
public:
    // Built under the parent, which then holds it: the creator drops its own reference.
    CSpriteNode(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* smgr, irr::s32 id,
                const irr::core::vector3df& position, const irr::core::dimension2df& size);
    ~CSpriteNode() override;

    void render() override;
    irr::video::SMaterial& getMaterial(irr::u32) override { return Material; }
    irr::u32 getMaterialCount() const override { return 1; }

    // The region's texture goes into layer 0; its UV rectangle becomes the sprite's.
    void setTextureRegion(const STextureRegion& region);
    const STextureRegion& getTextureRegion() const { return Region; }
    // Keeps the current frame cell and maps it into the new rectangle.
    void setUVRect(const SUVRect& rect);
    const SUVRect& getUVRect() const { return UVRect; }

    // 0 columns or rows count as 1.
    void setFrameCell(irr::f32 column, irr::f32 row, irr::f32 columns, irr::f32 rows, irr::f32 spanX,
                      irr::f32 spanY);
    void setFrame(irr::f32 column, irr::f32 row, irr::f32 columns, irr::f32 rows);
    void setFrameColumn(irr::f32 column);
    void setFrameRow(irr::f32 row);
    // Negative arguments keep the current value.
    void setFrameParts(irr::f32 column, irr::f32 row, irr::f32 columns, irr::f32 rows);
    irr::f32 getFrameColumn() const { return Column; }
    irr::f32 getFrameRow() const { return Row; }
    irr::f32 getFrameColumns() const { return Columns; }
    irr::f32 getFrameRows() const { return Rows; }

    // Shows the left (X) or bottom (Y) fraction t of the cell.
    void revealFrameX(irr::f32 t);
    void revealFrameY(irr::f32 t);
    // Scrolls the texture coordinates of all four corners.
    void shiftUV(const irr::core::vector2df& delta);
    // Repeats the texture at its pixel size over the node.
    void tileTexture(irr::f32 textureWidth, irr::f32 textureHeight);

    void setAngle(irr::f32 radians);
    irr::f32 getAngle() const { return Angle; }

    // Counts the sprite in the group until it goes or joins another.
    void setParticleGroup(const char* name);
    const CString& getParticleGroup() const { return ParticleGroup; }

    void stretchBetween(const irr::core::vector3df& p1, const irr::core::vector3df& p2, irr::f32 thickness,
                        bool centred, bool rotateOnly, irr::f32 angleOffset);
    void placeBetween(const irr::core::vector3df& p1, const irr::core::vector3df& p2, irr::f32 thickness,
                      bool centred, bool rotateOnly);
    void pointAt(const irr::core::vector3df& p1, const irr::core::vector3df& p2, irr::f32 angleOffset);

    // The four corners: 0 (uR, vB), 1 (uR, vT), 2 (uL, vT), 3 (uL, vB).
    const irr::video::S3DVertex* getVertices() const { return Vertices; }
    // The current cell in texture coordinates, without the texel inset.
    void getCellUVBox(irr::f32& uL, irr::f32& uR, irr::f32& vT, irr::f32& vB) const;

private:
    irr::f32 mapU(irr::f32 u) const;
    irr::f32 mapV(irr::f32 v) const;
    void setVertexUV(int index, irr::f32 u, irr::f32 v);
    void buildBasis(irr::scene::ICameraSceneNode* camera);
    void buildCorners();
    void drawDebugBox(irr::video::IVideoDriver* driver);

    irr::f32 Angle = 0;
    SUVRect UVRect;
    STextureRegion Region;
    irr::f32 Column = 0, ColumnSpan = 1, Row = 0, RowSpan = 1, Columns = 1, Rows = 1;
    irr::f32 InsetU = 0, InsetV = 0;
    irr::video::SMaterial Material;
    irr::core::matrix4 World;   // identity: corners are in world space
    irr::video::S3DVertex Vertices[4];
    bool IsBasisBuilt = false;
    irr::core::vector3df Horizontal;
    irr::core::vector3df Vertical;
    CString ParticleGroup;
};

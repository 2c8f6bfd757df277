#pragma once

// Everything of the drawing library: model, DXF reading/writing, extents, selection.

#include "drawing/block_path.h"
#include "drawing/document.h"
#include "drawing/dxf_error.h"
#include "drawing/dxf_io.h"
#include "drawing/entities.h"
#include "drawing/excerpt.h"
#include "drawing/extents.h"
#include "drawing/geometry.h"
#include "drawing/mline.h"
#include "drawing/proxy_graphics.h"
#include "drawing/selection.h"
#include "drawing/text.h"

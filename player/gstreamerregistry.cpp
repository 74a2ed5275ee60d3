#include "gstreamerregistry.h"

#include <gst/gst.h>

namespace GStreamerRegistry {

bool demoteWebKitSource()
{
    if (!gst_is_initialized())
        return false;
    GstPluginFeature *feature = gst_registry_lookup_feature(gst_registry_get(), "webkitwebsrc");
    if (!feature)
        return false;
    gst_plugin_feature_set_rank(feature, GST_RANK_NONE);
    gst_object_unref(feature);
    return true;
}

} // namespace GStreamerRegistry

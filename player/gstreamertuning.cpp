#include "gstreamertuning.h"

#include <gst/gst.h>

namespace GStreamerTuning {

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

namespace {

const char playerMark[] = "melodrift-player-pipeline";
thread_local int playerCalls = 0;

// The top-level element that holds the given one, with a reference of its own.
GstObject *pipelineOf(GstObject *element)
{
    GstObject *top = GST_OBJECT(gst_object_ref(element));
    while (GstObject *parent = gst_object_get_parent(top)) {
        gst_object_unref(top);
        top = parent;
    }
    return top;
}

bool hasProperty(GObject *object, const char *property)
{
    return g_object_class_find_property(G_OBJECT_GET_CLASS(object), property) != nullptr;
}

// The back end's playbin creates one "uridecodebin" per source and sets its
// "download" property from flags the back end never changes. The bin decides
// how to buffer a stream only after it has made the source element, so
// switching the property on when the source is set up is still in time.
gboolean askForDownload(GSignalInvocationHint *, guint count, const GValue *params, gpointer)
{
    if (count == 0 || !G_VALUE_HOLDS_OBJECT(&params[0]))
        return TRUE;
    auto *bin = static_cast<GObject *>(g_value_get_object(&params[0]));
    GstObject *pipeline = pipelineOf(GST_OBJECT(bin));
    if (playerCalls > 0)
        g_object_set_data(G_OBJECT(pipeline), playerMark, GINT_TO_POINTER(1));
    if (g_object_get_data(G_OBJECT(pipeline), playerMark)) {
        if (hasProperty(bin, "download"))
            g_object_set(bin, "download", TRUE, nullptr);
        if (hasProperty(bin, "ring-buffer-max-size"))
            g_object_set(bin, "ring-buffer-max-size", guint64(maxDownloadBytes), nullptr);
    }
    gst_object_unref(pipeline);
    return TRUE; // stay installed
}

GType uriDecodeBinType()
{
    GstElementFactory *factory = gst_element_factory_find("uridecodebin");
    if (!factory)
        return G_TYPE_INVALID;
    // The element type exists only once its plugin is loaded.
    GstPluginFeature *loaded = gst_plugin_feature_load(GST_PLUGIN_FEATURE(factory));
    gst_object_unref(factory);
    if (!loaded)
        return G_TYPE_INVALID;
    const GType type = gst_element_factory_get_element_type(GST_ELEMENT_FACTORY(loaded));
    gst_object_unref(loaded);
    return type;
}

} // namespace

bool downloadNetworkMedia()
{
    static bool installed = false;
    if (installed)
        return true;
    if (!gst_is_initialized())
        return false;
    const GType type = uriDecodeBinType();
    if (type == G_TYPE_INVALID)
        return false;
    // Signals exist once the class is; the reference keeps it, and so the
    // hook, for the life of the process.
    g_type_class_ref(type);
    const guint signal = g_signal_lookup("source-setup", type);
    if (signal == 0)
        return false;
    g_signal_add_emission_hook(signal, 0, askForDownload, nullptr, nullptr);
    installed = true;
    return true;
}

PlayerCall::PlayerCall()
{
    ++playerCalls;
}

PlayerCall::~PlayerCall()
{
    --playerCalls;
}

} // namespace GStreamerTuning

// Asks GIO, in a process of its own, what it answers for each type given on the command
// line: one line "TYPE<tab>DEFAULT or -<tab>ID;ID;..." per type.
#include <gio/gio.h>

#include <cstdio>

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const char *type = argv[i];
        GAppInfo *chosen = g_app_info_get_default_for_type(type, FALSE);
        const char *chosenId = chosen ? g_app_info_get_id(chosen) : nullptr;
        std::printf("%s\t%s\t", type, chosenId ? chosenId : "-");
        if (chosen)
            g_object_unref(chosen);
        GList *all = g_app_info_get_all_for_type(type);
        for (GList *item = all; item; item = item->next) {
            const char *id = g_app_info_get_id(G_APP_INFO(item->data));
            std::printf("%s%s", item == all ? "" : ";", id ? id : "");
        }
        g_list_free_full(all, g_object_unref);
        std::printf("\n");
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

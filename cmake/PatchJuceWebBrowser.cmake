# Debian's JUCE 7.0.5 Linux web browser has three faults that make an embedded page unusable:
# its "Webview" thread polls with a zero timeout and burns a core; it dlopens the unversioned
# libgtk-3.so / libwebkit2gtk-4.0.so that only the -dev packages install, so users get a blank
# view; and its GTK child spins forever on end-of-file when the host process dies. It also gives
# the page no clipboard access from script, which the page needs to copy its own address.
#
# The module's sources stay untouched: a copy of juce_gui_extra.cpp in the build tree includes a
# mended copy of the browser source and every other file from the original module folder, and
# the module target compiles that copy instead. Any mend that no longer applies stops the
# configure, because silently building the broken browser is worse than not building.

set(_vistrel_gui_extra_dir "${JUCE_MODULES_DIR}/juce_gui_extra")
set(_vistrel_browser_name "native/juce_linux_X11_WebBrowserComponent.cpp")
set(_vistrel_patched_dir "${CMAKE_BINARY_DIR}/juce_patched/juce_gui_extra")

if(NOT EXISTS "${_vistrel_gui_extra_dir}/${_vistrel_browser_name}")
    message(FATAL_ERROR "JUCE's Linux web browser source was not found at "
                        "${_vistrel_gui_extra_dir}/${_vistrel_browser_name}")
endif()

function(_vistrel_mend text_var what old new)
    string(FIND "${${text_var}}" "${old}" _at)
    if(_at EQUAL -1)
        message(FATAL_ERROR "The JUCE web browser mend '${what}' no longer applies to "
                            "${_vistrel_gui_extra_dir}/${_vistrel_browser_name}: the JUCE sources "
                            "changed. Review cmake/PatchJuceWebBrowser.cmake against the new version.")
    endif()
    string(REPLACE "${old}" "${new}" _mended "${${text_var}}")
    set(${text_var} "${_mended}" PARENT_SCOPE)
endfunction()

file(READ "${_vistrel_gui_extra_dir}/${_vistrel_browser_name}" _browser)

_vistrel_mend(_browser "versioned library names"
    [[DynamicLibrary gtkLib { "libgtk-3.so" }, webkitLib { "libwebkit2gtk-4.0.so" };]]
    [[DynamicLibrary gtkLib { "libgtk-3.so.0" }, webkitLib { "libwebkit2gtk-4.0.so.37" };]])

_vistrel_mend(_browser "end of file on the command pipe"
    [[            auto actual = read (inChannel, &dst[pos], static_cast<size_t> (len - pos));

            if (actual < 0)]]
    [[            auto actual = read (inChannel, &dst[pos], static_cast<size_t> (len - pos));

            if (actual == 0)
            {
                // The other process has gone: without this the loop reads zero bytes forever.
                endOfFile = true;

                if (responder != nullptr)
                    responder->receiverHadError();

                return;
            }

            if (actual < 0)]])

_vistrel_mend(_browser "end of file flag"
    [[    int getFd() const     { return inChannel; }]]
    [[    int getFd() const     { return inChannel; }
    bool reachedEndOfFile() const noexcept  { return endOfFile; }]])

_vistrel_mend(_browser "end of file member"
    [[    bool receivingLength = true;]]
    [[    bool receivingLength = true;
    bool endOfFile = false;]])

_vistrel_mend(_browser "parent thread leaves when the child has gone"
    [[            receiver->tryNextRead();

            int result = 0;]]
    [[            receiver->tryNextRead();

            if (receiver->reachedEndOfFile())
                return;

            int result = 0;]])

_vistrel_mend(_browser "poll timeout"
    [[result = poll (&pfds.front(), static_cast<nfds_t> (pfds.size()), 0);]]
    [[result = poll (&pfds.front(), static_cast<nfds_t> (pfds.size()), 10);]])

_vistrel_mend(_browser "clipboard and full-screen setters"
    [[    JUCE_GENERATE_FUNCTION_WITH_DEFAULT (webkit_settings_set_user_agent, juce_webkit_settings_set_user_agent,
                                         (WebKitSettings*, const gchar*), void)]]
    [[    JUCE_GENERATE_FUNCTION_WITH_DEFAULT (webkit_settings_set_user_agent, juce_webkit_settings_set_user_agent,
                                         (WebKitSettings*, const gchar*), void)

    JUCE_GENERATE_FUNCTION_WITH_DEFAULT (webkit_settings_set_javascript_can_access_clipboard, juce_webkit_settings_set_javascript_can_access_clipboard,
                                         (WebKitSettings*, gboolean), void)

    JUCE_GENERATE_FUNCTION_WITH_DEFAULT (webkit_settings_set_enable_fullscreen, juce_webkit_settings_set_enable_fullscreen,
                                         (WebKitSettings*, gboolean), void)]])

_vistrel_mend(_browser "clipboard and full-screen symbols"
    [[makeSymbolBinding (juce_webkit_settings_set_user_agent,                          "webkit_settings_set_user_agent"),]]
    [[makeSymbolBinding (juce_webkit_settings_set_user_agent,                          "webkit_settings_set_user_agent"),
                            makeSymbolBinding (juce_webkit_settings_set_javascript_can_access_clipboard,     "webkit_settings_set_javascript_can_access_clipboard"),
                            makeSymbolBinding (juce_webkit_settings_set_enable_fullscreen,                   "webkit_settings_set_enable_fullscreen"),]])

_vistrel_mend(_browser "clipboard and full-screen enabled"
    [[        if (userAgent.isNotEmpty())
            WebKitSymbols::getInstance()->juce_webkit_settings_set_user_agent (settings, userAgent.toRawUTF8());]]
    [[        WebKitSymbols::getInstance()->juce_webkit_settings_set_javascript_can_access_clipboard (settings, TRUE);
        WebKitSymbols::getInstance()->juce_webkit_settings_set_enable_fullscreen (settings, TRUE);

        if (userAgent.isNotEmpty())
            WebKitSymbols::getInstance()->juce_webkit_settings_set_user_agent (settings, userAgent.toRawUTF8());]])

file(READ "${_vistrel_gui_extra_dir}/juce_gui_extra.cpp" _module)

# Relative includes would resolve against the build tree; point every one at the original
# module folder except the mended browser, which lives beside the copy.
string(REPLACE "#include \"" "#include \"${_vistrel_gui_extra_dir}/" _module "${_module}")
_vistrel_mend(_module "module includes the mended browser"
    "#include \"${_vistrel_gui_extra_dir}/${_vistrel_browser_name}\""
    "#include \"${_vistrel_patched_dir}/${_vistrel_browser_name}\"")

# Copied only when different, so an unchanged result keeps its time stamp and nothing rebuilds.
get_filename_component(_vistrel_browser_subdir "${_vistrel_patched_dir}/${_vistrel_browser_name}" DIRECTORY)
file(MAKE_DIRECTORY "${_vistrel_browser_subdir}")
file(WRITE "${_vistrel_patched_dir}/browser.tmp" "${_browser}")
file(COPY_FILE "${_vistrel_patched_dir}/browser.tmp" "${_vistrel_patched_dir}/${_vistrel_browser_name}" ONLY_IF_DIFFERENT)
file(WRITE "${_vistrel_patched_dir}/module.tmp" "${_module}")
file(COPY_FILE "${_vistrel_patched_dir}/module.tmp" "${_vistrel_patched_dir}/juce_gui_extra.cpp" ONLY_IF_DIFFERENT)

get_target_property(_vistrel_gui_extra_sources juce_gui_extra INTERFACE_SOURCES)
list(TRANSFORM _vistrel_gui_extra_sources
     REPLACE "^${_vistrel_gui_extra_dir}/juce_gui_extra\\.cpp$" "${_vistrel_patched_dir}/juce_gui_extra.cpp")
if(NOT "${_vistrel_patched_dir}/juce_gui_extra.cpp" IN_LIST _vistrel_gui_extra_sources)
    message(FATAL_ERROR "juce_gui_extra's module source was not found among the target's sources: "
                        "${_vistrel_gui_extra_sources}")
endif()
set_property(TARGET juce_gui_extra PROPERTY INTERFACE_SOURCES "${_vistrel_gui_extra_sources}")

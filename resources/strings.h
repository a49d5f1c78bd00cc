/*
 * The library's string table: the one source of the texts. The resource
 * script includes it for the Windows string table; the Linux platform layer
 * turns the same list into its table.
 *
 * VC_STRINGS(X) calls X(id, text) for every string.
 * String 206 holds a backslash followed by the letter b (two characters):
 * the editor turns that pair into the tab before the accelerator text.
 */
#ifndef VELMCONV_RESOURCES_STRINGS_H
#define VELMCONV_RESOURCES_STRINGS_H

#define IDS_FILTER_PCX 100
#define IDS_FILTER_GIF 101
#define IDS_FILTER_TIFF 102
#define IDS_FILTER_RESOURCE 103
#define IDS_FILTER_AVI 104
#define IDS_FILTER_ICON_ANI 105
#define IDS_FILTER_ICON 106
#define IDS_FILTER_ANI 107
#define IDS_FILTER_ANIGIF 108
#define IDS_FILTER_JPEG 109
#define IDS_FILTER_WAVE 150
#define IDS_ERROR 200
#define IDS_NO_BITMAPS 201
#define IDS_NO_VFW 203
#define IDS_SOUND_ERROR 204
#define IDS_MENU_ANIMATION 205
#define IDS_MENU_CHANGE_FORMAT 206
#define IDS_FRAME_DESCRIPTION 209
#define IDS_DEFAULT_COMMENT 210
#define IDS_DISPOSAL_NOTHING 220
#define IDS_DISPOSAL_LEAVE 221
#define IDS_DISPOSAL_BACKGROUND 222
#define IDS_DISPOSAL_PREVIOUS 223

#define STR_FILTER_PCX "Z-Soft Paintbrush Image(*.PCX)|*.PCX"
#define STR_FILTER_GIF "CompuServe GIF(*.GIF)|*.GIF"
#define STR_FILTER_TIFF "Tagged Image File Format(*.TIF;*.TIFF)|*.TIF;*.TIFF"
#define STR_FILTER_RESOURCE "Ressource Bitmaps(*.EXE;*.DLL;*.SCR)|*.EXE;*.DLL;*.SCR"
#define STR_FILTER_AVI "Video for Windows(*.AVI)|*.AVI"
#define STR_FILTER_ICON_ANI "Icon and Cursor(*.ANI;*.ICO;*.CUR)|*.ANI;*.ICO;*.CUR"
#define STR_FILTER_ICON "Icon and Cursor(*.ICO;*.CUR)|*.ICO;*.CUR"
#define STR_FILTER_ANI "Animated Cursors(*.ANI)|*.ANI"
#define STR_FILTER_ANIGIF "Animated GIF(*.GIF)|*.GIF"
#define STR_FILTER_JPEG "JPEG File Format(*.JPG;*.JPEG)|*.JPG;*.JPEG"
#define STR_FILTER_WAVE "WAVE Files(*.WAV)|*.WAV"
#define STR_ERROR "Error"
#define STR_NO_BITMAPS "This file does not contain bitmap images"
#define STR_NO_VFW "Video for Windows has not been installed on your system. To be able to use AVI-Import and Export Video for Windows Version 1.1 or higher must be Installed."
#define STR_SOUND_ERROR "Error adding Sound to the AVI File! Please check the filename and your hard disk space."
#define STR_MENU_ANIMATION "&Animation..."
#define STR_MENU_CHANGE_FORMAT "Change &Format...\\bStrg+F"
#define STR_FRAME_DESCRIPTION "Frame %d: %dx%d  %d Colors"
#define STR_DEFAULT_COMMENT "Created with Velmora"
#define STR_DISPOSAL_NOTHING "Nothing"
#define STR_DISPOSAL_LEAVE "Leave as is"
#define STR_DISPOSAL_BACKGROUND "Background"
#define STR_DISPOSAL_PREVIOUS "Previous Image"

#define VC_STRINGS(X)                                   \
    X(IDS_FILTER_PCX, STR_FILTER_PCX)                   \
    X(IDS_FILTER_GIF, STR_FILTER_GIF)                   \
    X(IDS_FILTER_TIFF, STR_FILTER_TIFF)                 \
    X(IDS_FILTER_RESOURCE, STR_FILTER_RESOURCE)         \
    X(IDS_FILTER_AVI, STR_FILTER_AVI)                   \
    X(IDS_FILTER_ICON_ANI, STR_FILTER_ICON_ANI)         \
    X(IDS_FILTER_ICON, STR_FILTER_ICON)                 \
    X(IDS_FILTER_ANI, STR_FILTER_ANI)                   \
    X(IDS_FILTER_ANIGIF, STR_FILTER_ANIGIF)             \
    X(IDS_FILTER_JPEG, STR_FILTER_JPEG)                 \
    X(IDS_FILTER_WAVE, STR_FILTER_WAVE)                 \
    X(IDS_ERROR, STR_ERROR)                             \
    X(IDS_NO_BITMAPS, STR_NO_BITMAPS)                   \
    X(IDS_NO_VFW, STR_NO_VFW)                           \
    X(IDS_SOUND_ERROR, STR_SOUND_ERROR)                 \
    X(IDS_MENU_ANIMATION, STR_MENU_ANIMATION)           \
    X(IDS_MENU_CHANGE_FORMAT, STR_MENU_CHANGE_FORMAT)   \
    X(IDS_FRAME_DESCRIPTION, STR_FRAME_DESCRIPTION)     \
    X(IDS_DEFAULT_COMMENT, STR_DEFAULT_COMMENT)         \
    X(IDS_DISPOSAL_NOTHING, STR_DISPOSAL_NOTHING)       \
    X(IDS_DISPOSAL_LEAVE, STR_DISPOSAL_LEAVE)           \
    X(IDS_DISPOSAL_BACKGROUND, STR_DISPOSAL_BACKGROUND) \
    X(IDS_DISPOSAL_PREVIOUS, STR_DISPOSAL_PREVIOUS)

/* Dialog templates and their controls. */
#define IDD_PROGRESS 100
#define IDD_PROGRESS_CANCEL 101
#define IDC_PROGRESS_BAR 101
#define IDC_PROGRESS_CANCEL 102
/* Texts of the progress templates (dialog texts, not string table entries). */
#define STR_PROGRESS_TITLE "Converting..."
#define STR_PROGRESS_CANCEL "&Cancel"
/* Sizes of the progress templates in dialog units. */
#define PROGRESS_DLG_CX 150
#define PROGRESS_DLG_CY 34
#define PROGRESS_CANCEL_DLG_CY 54

/* GIF import options (template 109). */
#define IDD_GIF_IMPORT 109
#define IDC_GIFIMP_SEQUENCE 100
#define IDC_GIFIMP_FRAME 101
#define IDC_GIFIMP_ASSEMBLED 102
#define IDC_GIFIMP_LIST 110
#define IDC_GIFIMP_WIDTH 111
#define IDC_GIFIMP_WIDTH_SPIN 112
#define IDC_GIFIMP_HEIGHT 113
#define IDC_GIFIMP_HEIGHT_SPIN 114
/* GIF animation settings (template 110). */
#define IDD_GIF_ANIMATION 110
#define IDC_GIFANIM_COMMENT_ON 100
#define IDC_GIFANIM_COMMENT 101
#define IDC_GIFANIM_REPEAT 102
#define IDC_GIFANIM_INFINITE 103
#define IDC_GIFANIM_LOOPS 104
#define IDC_GIFANIM_LOOP_COUNT 105
#define IDC_GIFANIM_LOOP_SPIN 106
#define IDC_GIFANIM_PREVIOUS 107
#define IDC_GIFANIM_NEXT 108
#define IDC_GIFANIM_FRAME_NUMBER 109
#define IDC_GIFANIM_BACKGROUND 110
#define IDC_GIFANIM_STRIP 111
#define IDC_GIFANIM_DELAY_ON 112
#define IDC_GIFANIM_DELAY 113
#define IDC_GIFANIM_DELAY_SPIN 114
#define IDC_GIFANIM_USER_INPUT 115
#define IDC_GIFANIM_DISPOSAL 116
#define IDC_GIFANIM_INTERLACED 117
#define IDC_GIFANIM_PREVIEW 118
#define IDC_GIFANIM_SAME_FOR_ALL 119
#define IDC_GIFANIM_TRANSPARENT 120
#define IDC_GIFANIM_LEFT 121
#define IDC_GIFANIM_LEFT_SPIN 122
#define IDC_GIFANIM_TOP 123
#define IDC_GIFANIM_TOP_SPIN 124
#define IDC_GIFANIM_BROWSER 125
/* The playback window (template 111). */
#define IDD_GIF_PREVIEW 111

/* The cursor animation dialog (template 106, resources/cursor.rc). */
#define IDD_CURSOR_ANIMATION 106
#define IDC_ANIM_TITLE 100
#define IDC_ANIM_AUTHOR 101
#define IDC_ANIM_STEP_REEL 102
#define IDC_ANIM_FRAME_COUNT 103
#define IDC_ANIM_FRAMES_USED 104
#define IDC_ANIM_STEP_COUNT 105
#define IDC_ANIM_PREVIOUS 107
#define IDC_ANIM_NEXT 108
#define IDC_ANIM_SEQUENCE_PAGE 109
#define IDC_ANIM_CYCLE_PAGE 110
#define IDC_ANIM_POSITION 112
#define IDC_ANIM_FRAME 113
#define IDC_ANIM_FRAME_REEL 120
#define IDC_ANIM_ADD 121
#define IDC_ANIM_INSERT 122
#define IDC_ANIM_REPLACE 123
#define IDC_ANIM_DELETE 124
#define IDC_ANIM_DELETE_ALL 125
#define IDC_ANIM_SPEED_GROUP 130
#define IDC_ANIM_RATE_EACH 131
#define IDC_ANIM_RATE_ALL 132
#define IDC_ANIM_RATE 133
#define IDC_ANIM_RATE_SPIN 134
#define IDC_ANIM_RATE_UNIT 135
#define IDC_ANIM_HOTSPOT_GROUP 136
#define IDC_ANIM_HOTSPOT_EACH 137
#define IDC_ANIM_HOTSPOT_COMMON 138
#define IDC_ANIM_HOTSPOT_X 139
#define IDC_ANIM_HOTSPOT_X_SPIN 140
#define IDC_ANIM_HOTSPOT_Y 141
#define IDC_ANIM_HOTSPOT_Y_SPIN 142
#define IDC_ANIM_PREVIEW_GROUP 143
#define IDC_ANIM_PREVIEW 144
#define IDC_ANIM_BACKGROUND 145
#define IDC_ANIM_SHOW_HOTSPOT 146
#define IDC_ANIM_STOP 147
#define IDC_ANIM_PLAY 148
#define IDC_ANIM_X_LABEL 149 /* the labels of 139 and 141, shown with their page */
#define IDC_ANIM_Y_LABEL 150

/* Bitmaps (made by resources/make_bitmaps.py). */
#define IDB_SPROCKETS 100
#define IDB_PAGE_BUTTONS 101
#define IDB_PLAY_BUTTONS 102

/* Cursor format questions: templates 107 and 108 (resources/cursor.rc). */
#define IDD_SELECT_CURSOR 107
#define IDD_CHANGE_CURSOR 108
#define IDC_CURSOR_SIZE16 100
#define IDC_CURSOR_SIZE32 101
#define IDC_CURSOR_SIZE64 102
#define IDC_CURSOR_SIZE_OTHER 103
#define IDC_CURSOR_X 104
#define IDC_CURSOR_Y 105
#define IDC_CURSOR_COLORS2 106
#define IDC_CURSOR_COLORS16 107
#define IDC_CURSOR_COLORS256 108
#define IDC_CURSOR_SCALE 109
#define IDC_CURSOR_WARNING 110
#define STR_SELECT_CURSOR_TITLE "Select Cursor Format"
#define STR_CHANGE_CURSOR_TITLE "Change Cursor Format"
#define STR_CURSOR_WARNING "The current size of the images is not a valid cursor or icon size and may therefore cause problems with other programs. Please select a valid size."
#define STR_CURSOR_IMAGE_SIZE "Image Size"
#define STR_CURSOR_SIZE16 "16 x 16"
#define STR_CURSOR_SIZE32 "32 x 32  (recommended)"
#define STR_CURSOR_SIZE64 "64 x 64"
#define STR_CURSOR_KEEP "Maintain current size"
#define STR_CURSOR_OTHER "other"
#define STR_CURSOR_X "X:"
#define STR_CURSOR_Y "Y:"
#define STR_CURSOR_COLORS "Colors"
#define STR_CURSOR_COLORS2 "2 Colors"
#define STR_CURSOR_COLORS16 "16 Colors"
#define STR_CURSOR_COLORS256 "256 Colors"
#define STR_CURSOR_SCALE "Scale Image"
#define STR_CURSOR_OK "&OK"
#define STR_CURSOR_CANCEL "&Cancel"

/* Open Resource Bitmap (template 102, resources/resource.rc). */
#define IDD_RESOURCE_BITMAP 102
#define IDC_RESBMP_FILE 100
#define IDC_RESBMP_LIST 101
#define IDC_RESBMP_PREVIEW 102
#define IDC_RESBMP_SHOW 103
#define IDC_RESBMP_SIZE 104
#define IDC_RESBMP_COLORS 105

/* AVI import and export (templates 103 to 105, resources/video.rc). */
#define IDD_AVI_IMPORT 103
#define IDD_AVI_SELECT 104
#define IDD_AVI_EXPORT 105
#define IDC_AVI_REEL 100
#define IDC_AVIIMP_PALETTE 101
#define IDC_AVIIMP_STRETCH 102
#define IDC_AVIIMP_COUNT 103
#define IDC_AVIIMP_SIZE 104
#define IDC_AVIIMP_RATE 106
#define IDC_AVIIMP_SELCOUNT 107
#define IDC_AVIIMP_SELLIST 108
#define IDC_AVIIMP_SELECT 109
#define IDC_AVIIMP_TOGGLE 113
#define IDC_AVIIMP_DITHER 133
#define IDC_AVISEL_FROM 110
#define IDC_AVISEL_NUMBER 111
#define IDC_AVISEL_STEP 112
#define IDC_AVIEXP_RATE 101
#define IDC_AVIEXP_RATE_SPIN 102
#define IDC_AVIEXP_COMPRESS 103
#define IDC_AVIEXP_WAVE_BUTTON 110
#define IDC_AVIEXP_WAVE 111
#define IDC_AVIEXP_POSITION 123
#define IDC_AVIEXP_TOTAL 124
#define IDC_AVIEXP_DELAY 131
#define IDC_AVIEXP_DELAY_SPIN 132
#define IDC_AVI_PREVIOUS 120
#define IDC_AVI_NEXT 121
#define IDC_AVI_FRAME 122

#endif

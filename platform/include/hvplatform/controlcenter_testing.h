/*
 * Test hooks of the ControlCenterUIKit stand-in (exported by libhvControlCenterUIKit.so only;
 * not part of the platform's API).
 */
#ifndef HVPLATFORM_CONTROLCENTER_TESTING_H
#define HVPLATFORM_CONTROLCENTER_TESTING_H

#include <objc/objc.h>

#ifdef __cplusplus
extern "C" {
#endif

/* How often CCUIButtonModuleViewController's own buttonTapped:forEvent: ran for controller
 * (-1 when it is no button module), with the sender and event of the last call (+0). */
__attribute__((visibility("default"))) int HVCCTestButtonTaps(id controller, id* last_sender,
                                                              id* last_event);
/* The collapsed tile's button (a UIControl) and the image view showing its glyph (+0). */
__attribute__((visibility("default"))) id HVCCTestTileButton(id controller);
__attribute__((visibility("default"))) id HVCCTestTileGlyphView(id controller);
/* How often CCUIMenuModuleViewController's own _handleActionTapped: ran for controller. */
__attribute__((visibility("default"))) int HVCCTestActionTaps(id controller);

#ifdef __cplusplus
}
#endif

#endif /* HVPLATFORM_CONTROLCENTER_TESTING_H */

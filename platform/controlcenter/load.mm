/*
 * ControlCenterUIKit's two protocols of module content, and the moment the stand-in's classes
 * are made. GCC's runtime makes a protocol only from compiled Objective-C, and registers it
 * only once a class adopts it: the anchor class below does, and its +load (run once the
 * runtime has loaded this library's classes and protocols, and those of the libraries it
 * links) makes the classes, which adopt the protocols by name.
 */
#import <Foundation/NSObject.h>

namespace hv_controlcenter {
void register_classes();
}

@protocol CCUIContentModuleContentViewController <NSObject>
@required
- (double)preferredExpandedContentHeight;
@optional
- (double)preferredExpandedContentWidth;
- (BOOL)shouldBeginTransitionToExpandedContentModule;
- (void)willTransitionToExpandedContentMode:(BOOL)expanded;
- (void)didTransitionToExpandedContentMode:(BOOL)expanded;
- (void)controlCenterWillPresent;
- (void)controlCenterDidDismiss;
- (BOOL)providesOwnPlatter;
@end

@protocol CCUIContentModule <NSObject>
@required
- (id)contentViewController;
@optional
- (id)backgroundViewController;
- (void)setContentModuleContext:(id)context;
@end

@interface HVCCUIProtocolAnchor
    : NSObject <CCUIContentModule, CCUIContentModuleContentViewController>
@end

@implementation HVCCUIProtocolAnchor
+ (void)load {
  hv_controlcenter::register_classes();
}
- (id)contentViewController {
  return nil;
}
- (double)preferredExpandedContentHeight {
  return 0;
}
@end

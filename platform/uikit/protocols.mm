// The protocols the UIKit stand-in's classes adopt. GCC's runtime makes a protocol only
// from compiled Objective-C, so they are declared here; the anchor class makes the
// runtime register them, and its +load (run once the runtime has loaded the anchor, its
// protocols and Foundation's NSObject) registers the stand-in's classes.
#import <Foundation/Foundation.h>

namespace hv::uikit {
void register_all();
}

@protocol UICoordinateSpace
@end
@protocol UITableViewDataSource <NSObject>
@end
@protocol UITableViewDelegate <NSObject>
@end

@interface HVUIKitProtocolAnchor
    : NSObject <UICoordinateSpace, UITableViewDataSource, UITableViewDelegate>
@end
@implementation HVUIKitProtocolAnchor
+ (void)load {
  hv::uikit::register_all();
}
@end
